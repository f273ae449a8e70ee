// What the operator program's text boxes accept and how their texts become
// numbers. A box takes digits (and "-" where allowed) up to its longest text;
// a typed or pasted text is filtered the same way.
#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace tervane {

struct KeyFilter {
  bool minus = false;  // "-" accepted besides digits
  int maxLength = 8;
};

// Parameter form.
inline constexpr KeyFilter kMaxSpeedKeys{false, 8};
inline constexpr KeyFilter kHighLimitKeys{false, 8};
inline constexpr KeyFilter kLowLimitKeys{true, 9};
inline constexpr KeyFilter kTimeKeys{false, 10};
// Motion form.
inline constexpr KeyFilter kMotionSpeedKeys{false, 8};
inline constexpr KeyFilter kDestinationKeys{true, 8};
inline constexpr KeyFilter kDelayKeys{false, 5};
inline constexpr KeyFilter kSpeedRatioKeys{false, 7};
inline constexpr KeyFilter kJogDistanceKeys{false, 7};
inline constexpr KeyFilter kHomeSpeedKeys{false, 8};
// Editor: every box.
inline constexpr KeyFilter kEditorKeys{true, 8};

// The text a box holds after an edit that would give `text`: the characters
// the box does not take are dropped; nothing when what is left is too long
// (the edit is refused, as a full box refuses a key).
std::optional<QString> filtered(QStringView text, KeyFilter keys);

// A whole number, optionally signed, in 32 bits; nothing for any other text
// (empty, "-", "1-2", letters, overflow).
std::optional<int32_t> parseInt32(QStringView text);
// A decimal number ("-12", "3.5"); nothing for any other text.
std::optional<double> parseNumber(QStringView text);
// The value Run reads from a box: a number, and 0 for an empty or unreadable
// text.
double valueOrZero(QStringView text);

// A number as the program writes it into a box or the parameter file: plain
// decimal, no blanks ("-999", "1.5").
QString plainNumber(double value);

}  // namespace tervane
