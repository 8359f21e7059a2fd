// pimu-gui: the desktop window over the built-in drawing.
//   pimu-gui [DRAWING.dxf] [--workdir DIR]
// The program folder (settings file, target-CAD list, city list, the DXF files it writes) is the
// executable's folder unless --workdir names another.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "gui/session.h"

namespace {

std::filesystem::path ExecutableFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path() : exe.parent_path();
}

}  // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    pimu::gui::SetUpApplication(app);
    pimu::gui::GuiOptions options;
    options.programFolder = ExecutableFolder();
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args[i];
        if (a == "--workdir" && i + 1 < args.size()) {
            options.programFolder = std::filesystem::absolute(args[++i].toStdString());
        } else if (a == "--help" || a == "-h") {
            std::puts("usage: pimu-gui [DRAWING.dxf] [--workdir DIR]");
            return 0;
        } else if (!a.startsWith("-") && !options.drawing) {
            options.drawing = std::filesystem::absolute(a.toStdString());
        } else {
            std::fprintf(stderr, "pimu-gui: unknown argument %s\n", a.toLocal8Bit().constData());
            return 2;
        }
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(options.programFolder, ec)) {
        std::fprintf(stderr, "pimu-gui: no such folder %s\n", options.programFolder.c_str());
        return 2;
    }
    pimu::gui::GuiSession session(options);
    session.Show();
    return app.exec();
}
