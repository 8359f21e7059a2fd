// The window with the embedded drawing as its CAD, and a scripted user.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/embedded_cad.h"
#include "app/form.h"
#include "app/recording_host.h"
#include "cadlink/embedded/document.h"
#include "cadlink/embedded/input.h"
#include "test_support.h"

namespace pimu::app::testing {

using cadlink::embedded::EntityQuery;

inline EntityQuery OnLayer(const std::string &layer) {
    EntityQuery q;
    q.kind = EntityQuery::Kind::Layer;
    q.text = layer;
    return q;
}

inline const std::string kSiteSmall = std::string(PIMU_TEST_DATA) + "/site_small.dxf";

struct CadWindow {
    TempDir dir;
    RecordingUiHost host;
    EmbeddedCad cad;
    cadlink::embedded::ScriptedInput input;
    TForm1 form{FormPaths{dir.path(), "pimu.exe"}, host, &cad};

    CadWindow() { cad.Document().SetInputSource(&input); }
    cadlink::embedded::EmbeddedDocument &doc() { return cad.Document(); }
    cadlink::embedded::Drawing &drawing() { return cad.Document().drawing(); }

    // Opens the drawing and acquires the entities the queries select.
    void Acquire(const std::string &file, std::vector<EntityQuery> queries) {
        if (!file.empty()) doc().Open(file);
        input.Select(std::move(queries));
        form.Button2Click();
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const auto &m : host.messages) out.push_back(m.text);
        return out;
    }
};

inline void ExpectSameEdges(const std::vector<geometry::TLineEnt> &a,
                            const std::vector<geometry::TLineEnt> &b, double tol = 1e-9) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (auto [p, q] : {std::pair{a[i].st, b[i].st}, std::pair{a[i].ed, b[i].ed}}) {
            EXPECT_NEAR(p.x, q.x, tol) << i;
            EXPECT_NEAR(p.y, q.y, tol) << i;
            EXPECT_NEAR(p.z, q.z, tol) << i;
        }
    }
}

}  // namespace pimu::app::testing
