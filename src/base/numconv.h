// Reading numbers that users type into fields and settings.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace pimu {

// A field's text could not be read as a number. what() is a message for the user: it names the
// field and quotes the text, so a command can stop with it and change nothing.
class InputError : public std::runtime_error {
public:
    InputError(std::string field, std::string text);
    const std::string &field() const { return field_; }
    const std::string &text() const { return text_; }

private:
    std::string field_;
    std::string text_;
};

// The text as a double. '.' is the decimal separator whatever the process locale; blanks around
// the number are ignored; an optional sign and exponent are accepted. Anything else (an empty
// text, "1,5", "12abc", "nan", "inf") throws InputError naming `field`.
double ParseNumber(std::string_view text, std::string_view field);

// As ParseNumber, for fields that hold whole numbers ("3", "-12"; not "3.0").
int ParseInteger(std::string_view text, std::string_view field);

// Non-throwing forms for places that keep a default when a text is not a number.
bool TryParseNumber(std::string_view text, double &value);
bool TryParseInteger(std::string_view text, int &value);

}  // namespace pimu
