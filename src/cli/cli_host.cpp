#include "cli/cli_host.h"

#include <unistd.h>

#include <csignal>

#include <algorithm>

#include "base/quote.h"

namespace pimu::cli {

namespace {

// What a signal handler may touch: the one flag it sets.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) {
    interrupted = 1;
}

}  // namespace

CliUiHost::CliUiHost(std::FILE *err) : err_(err), progressShown_(isatty(fileno(err)) != 0) {}

// Ctrl-C, a kill (SIGTERM) and a closed terminal (SIGHUP) all stop the command as the stop
// button does, so nothing is left half-written.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

CliUiHost::~CliUiHost() {
    if (catching_)
        for (int sig : kStopSignals) std::signal(sig, SIG_DFL);
}

void CliUiHost::CatchInterrupt() {
    interrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;  // the second Ctrl-C is not caught
    sigemptyset(&action.sa_mask);
    for (int sig : kStopSignals) sigaction(sig, &action, nullptr);
    catching_ = true;
}

bool CliUiHost::Interrupted() const {
    return interrupted != 0;
}

void PrintMessage(std::FILE *err, std::string_view text) {
    std::string out = "Pimu: ";
    for (char c : ShowControlCharacters(text)) {
        out += c;
        if (c == '\n') out += "      ";
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\n')) out.pop_back();
    std::fprintf(err, "%s\n", out.c_str());
    std::fflush(err);
}

void CliUiHost::Say(std::string_view text) {
    ClearProgress();
    PrintMessage(err_, text);
}

app::MessageResult CliUiHost::MessageBox(std::string_view, std::string_view, std::string_view text,
                                         app::MessageButtons buttons) {
    messages_.emplace_back(text);
    EchoPrompts();
    // Nobody is there to answer: a question is taken as confirmed, which is what running the
    // command asked for.
    switch (buttons) {
        case app::MessageButtons::Ok:
            Say(text);
            return app::MessageResult::Ok;
        case app::MessageButtons::OkCancel:
            Say(std::string(text) + " [OK]");
            return app::MessageResult::Ok;
        case app::MessageButtons::YesNo:
            Say(std::string(text) + " [はい]");
            return app::MessageResult::Yes;
    }
    return app::MessageResult::Ok;
}

void CliUiHost::ProcessPendingEvents() {
    EchoPrompts();
    if (interrupted && !stopped_ && observed_.stop) {
        stopped_ = true;
        observed_.stop();
    }
    if (!progressShown_ || !observed_.progress) return;
    const auto [maximum, position] = observed_.progress();
    if (maximum <= 0 || position <= 0) return;
    constexpr int kWidth = 40;
    const int filled = std::min(kWidth, position * kWidth / maximum);
    const int percent = std::min(100, position * 100 / maximum);
    if (percent == lastDrawn_) return;
    lastDrawn_ = percent;
    std::fprintf(err_, "\r[%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), percent);
    std::fflush(err_);
    progressOnScreen_ = true;
}

void CliUiHost::Flush() {
    EchoPrompts();
    ClearProgress();
}

void CliUiHost::ClearProgress() {
    if (!progressOnScreen_) return;
    std::fprintf(err_, "\r%*s\r", 48, "");
    std::fflush(err_);
    progressOnScreen_ = false;
    lastDrawn_ = -1;
}

void CliUiHost::EchoPrompts() {
    if (!observed_.prompts) return;
    const std::vector<std::string> *prompts = observed_.prompts();
    if (!prompts) return;
    if (verbose_) {
        for (size_t i = promptsShown_; i < prompts->size(); ++i) {
            ClearProgress();
            std::string line = (*prompts)[i];
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            if (!line.empty()) std::fprintf(err_, "CAD: %s\n", line.c_str());
        }
    }
    promptsShown_ = prompts->size();
}

}  // namespace pimu::cli
