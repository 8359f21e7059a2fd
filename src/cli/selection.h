// SEL: how the command line names a set of drawing entities (--buildings, --marks, --site).
//   all | layer:NAME[,NAME] | window:X1,Y1,X2,Y2 | crossing:X1,Y1,X2,Y2 | handle:H[,H] |
//   type:LINE[,CIRCLE]
// Several forms joined by '+' select their union ("layer:建物+layer:隣地建物").
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cadlink/embedded/drawing.h"
#include "cadlink/embedded/input.h"
#include "geometry/types.h"

namespace pimu::cli {

// Wrong use of the command line: the message is shown with the usage, exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using Selection = std::vector<cadlink::embedded::EntityQuery>;

// Throws UsageError naming the option for a text that is not a SEL.
Selection ParseSelection(std::string_view text, std::string_view option);

// "X,Y" or "X,Y,Z" with '.' as the decimal separator. Throws UsageError naming the option.
geometry::TAcadPoint ParsePointOption(std::string_view text, std::string_view option);

// What a pick at `at` takes when the command asks for a LINE (the wall of --wall): the model-space
// LINE nearest to the point in plan within `tolerance` drawing units, as its handle for
// ScriptedInput::Entity. Nothing when no LINE passes that close.
std::optional<std::string> LineHandleAt(const cadlink::embedded::Drawing &drawing,
                                        const geometry::TAcadPoint &at, double tolerance = 1.0);

}  // namespace pimu::cli
