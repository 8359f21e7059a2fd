// The built-in drawing as the window's CAD: one embedded document and everything a CadSession
// needs around it. The command line and the tests construct the window with it:
//
//   app::EmbeddedCad cad;
//   cad.Document().Open("site.dxf");
//   cad.Document().SetInputSource(&input);   // what the user picks and selects
//   app::TForm1 form(paths, host, &cad);
#pragma once

#include <memory>

#include "app/cad_connection.h"
#include "cadlink/connection.h"
#include "cadlink/embedded/document.h"

namespace pimu::app {

// Waits of the embedded drawing: it is idle whenever a call returns, so nothing is waited; the
// time asked for is added up for the curious.
class CountingSleeper : public cadlink::ISleeper {
public:
    void Sleep(int ms) override { totalMs += ms; }
    long long totalMs = 0;
};

class EmbeddedCad : public CadSession {
public:
    explicit EmbeddedCad(std::shared_ptr<cadlink::embedded::EmbeddedDocument> document =
                             std::make_shared<cadlink::embedded::EmbeddedDocument>())
        : EmbeddedCad(Parts(std::move(document))) {}

    cadlink::embedded::EmbeddedDocument &Document() { return parts_->application->document(); }
    std::shared_ptr<cadlink::embedded::EmbeddedApplication> Application() {
        return parts_->application;
    }
    CountingSleeper &Waits() { return parts_->sleeper; }
    bool FilterRegistered() const { return parts_->filter.registered(); }

private:
    struct Owned {
        explicit Owned(std::shared_ptr<cadlink::embedded::EmbeddedDocument> doc)
            : application(std::make_shared<cadlink::embedded::EmbeddedApplication>(std::move(doc))),
              connector(application) {}
        std::shared_ptr<cadlink::embedded::EmbeddedApplication> application;
        cadlink::EmbeddedConnector connector;
        cadlink::NullDesktop desktop;
        CountingSleeper sleeper;
        cadlink::NullMessageFilter filter;
    };
    static std::unique_ptr<Owned> Parts(std::shared_ptr<cadlink::embedded::EmbeddedDocument> d) {
        return std::make_unique<Owned>(std::move(d));
    }
    explicit EmbeddedCad(std::unique_ptr<Owned> parts)
        : CadSession(parts->connector, parts->desktop, parts->sleeper, parts->filter),
          parts_(std::move(parts)) {}

    std::unique_ptr<Owned> parts_;
};

}  // namespace pimu::app
