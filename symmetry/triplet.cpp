// General-position triplets such as "-x+1/2,y,z+1/4".
#include <array>

#include "core/textformat.hpp"
#include "symmetry/pot.hpp"

namespace obrin {
namespace {

struct TranslationToken {
  std::string_view text;
  double value;
};
// Tried in this order; the first one found anywhere in the expression is the translation.
constexpr std::array<TranslationToken, 7> kTranslations = {{
    {"+1/2", 0.5}, {"+1/3", 1.0 / 3.0}, {"+2/3", 2.0 / 3.0}, {"+1/4", 0.25},
    {"+3/4", 0.75}, {"+1/6", 1.0 / 6.0}, {"+5/6", 5.0 / 6.0},
}};

struct RotationForm {
  std::string_view text;
  std::array<double, 3> row;
};
constexpr std::array<RotationForm, 8> kForms = {{
    {"X", {1, 0, 0}}, {"Y", {0, 1, 0}}, {"Z", {0, 0, 1}},
    {"-X", {-1, 0, 0}}, {"-Y", {0, -1, 0}}, {"-Z", {0, 0, -1}},
    {"X-Y", {1, -1, 0}}, {"Y-X", {-1, 1, 0}},
}};

// One upper-cased expression into a row of the operator; false when it is none of the forms.
bool parseExpression(std::string_view upper, std::array<double, 4>& row) {
  std::string text = trimmed(upper);
  row = {0, 0, 0, 0};
  for (const auto& t : kTranslations) {
    const auto at = text.find(t.text);
    if (at == std::string::npos) continue;
    row[3] = t.value;
    text.erase(at, t.text.size());
    break;
  }
  for (const auto& f : kForms) {
    if (text == f.text) {
      row[0] = f.row[0];
      row[1] = f.row[1];
      row[2] = f.row[2];
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<SymmetryOperator> parseTriplet(std::string_view line, std::string* badExpression) {
  // The x and y expressions end at the first two commas; z takes the rest of the line.
  std::array<std::string_view, 3> parts;
  const auto c1 = line.find(',');
  const auto c2 = c1 == std::string_view::npos ? c1 : line.find(',', c1 + 1);
  if (c2 == std::string_view::npos) {
    if (badExpression) *badExpression = trimmed(line);
    return std::nullopt;
  }
  parts[0] = line.substr(0, c1);
  parts[1] = line.substr(c1 + 1, c2 - c1 - 1);
  parts[2] = line.substr(c2 + 1);

  SymmetryOperator op;
  for (int r = 0; r < 3; ++r) {
    if (!parseExpression(upperCased(parts[r]), op.m[r])) {
      if (badExpression) *badExpression = trimmed(parts[r]);
      return std::nullopt;
    }
  }
  return op;
}

}  // namespace obrin
