#include "calc/inputs.hpp"

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
  const auto system = state.system;
  switch (field) {
    case InputField::A:
      if (system == CrystalSystem::Cubic || system == CrystalSystem::Rhombohedral)
        out.copies = {InputField::B, InputField::C};
      else if (system == CrystalSystem::Tetragonal || system == CrystalSystem::Hexagonal)
        out.copies = {InputField::B};
      state.cell.a = *value;
      break;
    case InputField::B: state.cell.b = *value; break;
    case InputField::C: state.cell.c = *value; break;
    case InputField::Alpha:
      state.cell.alpha = *value;
      if (system == CrystalSystem::Rhombohedral) {
        out.copies = {InputField::Beta, InputField::Gamma};
        state.cell.beta = state.cell.gamma = *value;
      }
      break;
    default: break;
  }
  return out;
}

CellFieldLayout cellFieldLayout(CrystalSystem system, const UnitCell& stored, std::string_view aText) {
  enum { A, B, C, Alpha, Beta, Gamma };
  CellFieldLayout out;
  const std::optional<std::string> a = aText.empty() ? std::nullopt : std::optional<std::string>(aText);
  auto lock = [&](std::initializer_list<int> fields) {
    for (int f : fields) out.locked[f] = true;
  };
  auto rightAngles = [&](std::initializer_list<int> fields) {
    for (int f : fields) out.text[f] = "90";
  };
  switch (system) {
    case CrystalSystem::Cubic:
      lock({B, C, Alpha, Beta, Gamma});
      out.text[B] = out.text[C] = a;
      rightAngles({Alpha, Beta, Gamma});
      break;
    case CrystalSystem::Tetragonal:
      lock({B, Alpha, Beta, Gamma});
      out.text[B] = a;
      rightAngles({Alpha, Beta, Gamma});
      break;
    case CrystalSystem::Orthorhombic:
      lock({Alpha, Beta, Gamma});
      rightAngles({Alpha, Beta, Gamma});
      break;
    case CrystalSystem::Hexagonal:
      lock({B, Alpha, Beta, Gamma});
      out.text[B] = a;
      rightAngles({Alpha, Beta});
      out.text[Gamma] = "120";
      break;
    case CrystalSystem::Rhombohedral:
      lock({B, C, Beta, Gamma});
      out.text[B] = out.text[C] = a;
      out.text[Alpha] = out.text[Beta] = out.text[Gamma] = fixedText(stored.alpha, 8, 3);
      break;
    case CrystalSystem::Monoclinic:
      lock({Alpha, Gamma});
      rightAngles({Alpha, Gamma});
      out.text[Beta] = fixedText(stored.beta, 8, 3);
      break;
    case CrystalSystem::Triclinic: break;
  }
  return out;
}

}  // namespace obrin
