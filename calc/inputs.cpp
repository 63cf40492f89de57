#include "calc/inputs.hpp"

#include "calc/messages.hpp"
#include "core/numfield.hpp"
#include "core/textformat.hpp"

namespace obrin {

std::optional<InputError> validateInputs(const InputTexts& texts, AngleMode mode, CalculationState& state) {
  static constexpr std::array<std::string_view, 6> kCellMessages = {
      " Cell parameter error", " Error on b",     " Error on c",
      " Error on alpha",       " Error sur beta", " Error sur gamma"};
  static constexpr std::array<InputField, 6> kCellFields = {
      InputField::A, InputField::B, InputField::C, InputField::Alpha, InputField::Beta, InputField::Gamma};

  std::array<double, 6> p{};
  for (int i = 0; i < 6; ++i) {
    auto v = parseNumber(texts.cell[i]);
    if (!v) return InputError{kCellFields[i], std::string(kCellMessages[i])};
    p[i] = *v;
  }
  state.cell = state.cellCopy = UnitCell::fromParams(p);

  auto lambda = parseNumber(texts.lambda);
  if (!lambda) return InputError{InputField::Lambda, " Error on lambda"};
  state.lambda = *lambda;

  // Limits are kept as θ from the moment they are stored, so that a failure on the second
  // cannot leave a 2θ value in the first.
  const double toTheta = mode == AngleMode::TwoTheta ? 0.5 : 1.0;
  auto theta1 = parseNumber(texts.theta1);
  if (!theta1) return InputError{InputField::Theta1, " Error on theta1"};
  state.thetaMin = *theta1 * toTheta;

  auto theta2 = parseNumber(texts.theta2);
  if (!theta2) return InputError{InputField::Theta2, " Error on theta2"};
  if (mode == AngleMode::Theta && *theta2 > 90) return InputError{InputField::Theta2, "Error on theta2 (>90)"};
  if (mode == AngleMode::TwoTheta && *theta2 > 180) return InputError{InputField::Theta2, "Error on theta2 (>180)"};
  state.thetaMax = *theta2 * toTheta;
  return std::nullopt;
}

FieldExit checkFieldExit(InputField field, std::string_view text, CalculationState& state) {
  FieldExit out;
  out.text = normalizeNumberText(field == InputField::None ? std::string_view() : text);
  auto value = parseNumber(out.text);
  if (!value) return out;
  out.accepted = true;
  const int parameter = static_cast<int>(field) - 1;
  if (state.system && parameter >= 0 && parameter < 6)
    for (int tied : tiedTo(*state.system, parameter)) out.copies.push_back(static_cast<InputField>(tied + 1));
  UnitCell& cell = state.cell;
  switch (field) {
    case InputField::A: cell.a = *value; break;
    case InputField::B: cell.b = *value; break;
    case InputField::C: cell.c = *value; break;
    case InputField::Alpha: {
      // The angles tied to alpha are stored with it; tied lengths only take the text.
      auto p = cell.params();
      p[kAlpha] = *value;
      for (InputField tied : out.copies) p[static_cast<int>(tied) - 1] = *value;
      cell = UnitCell::fromParams(p);
      break;
    }
    default: break;
  }
  return out;
}

CellFieldLayout cellFieldLayout(CrystalSystem system, const UnitCell& stored, std::string_view aText) {
  const CrystalSystemInfo& info = systemInfo(system);
  const auto values = stored.params();
  CellFieldLayout out;
  out.locked = lockedCellParameters(system);
  // What a field shows when the system fills it: a length tied to a shows a's text (kept when
  // a is empty), an angle the stored one.
  auto shown = [&](int p) -> std::optional<std::string> {
    if (p >= kAlpha) return fixedText(values[p], 8, 3);
    if (aText.empty()) return std::nullopt;
    return std::string(aText);
  };
  for (int p = 0; p < 6; ++p) {
    const CellParameterRule& rule = info.cell[p];
    if (rule.kind == CellParameterRule::Fixed) out.text[p] = std::to_string(rule.degrees);
    else if (rule.kind == CellParameterRule::Tied) out.text[p] = shown(tieRoot(system, p));
    else if (rule.shownFromCell) out.text[p] = shown(p);
  }
  return out;
}

Result<double> readMonochromatorAngle(std::string_view text) {
  const auto angle = parseNumber(text);
  // 0 stands for no monochromator; no crystal diffracts straight back at 180°.
  if (!angle || !(*angle >= 0 && *angle < 180)) return fail(msg::kBadMonochromator);
  return *angle;
}

}  // namespace obrin
