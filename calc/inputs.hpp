// The numeric inputs of a calculation: the check made when the user leaves a field, the
// validation that every calculation and the cell export run first, and the cell fields that
// each crystal system fixes.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calc/state.hpp"
#include "core/mathhkl.hpp"
#include "core/result.hpp"

namespace obrin {

// The nine numeric inputs by their numbers; None until the user has entered one of them.
enum class InputField { None = 0, A, B, C, Alpha, Beta, Gamma, Lambda, Theta1, Theta2 };
inline constexpr int kInputFieldCount = 9;

struct InputTexts {
  std::array<std::string, 6> cell;  // a, b, c, alpha, beta, gamma
  std::string lambda, theta1, theta2;
};

struct InputError {
  InputField field = InputField::None;
  std::string message;  // the warning's text
};

// Checks the fields in order and stops at the first that fails. What passed before it is
// already stored: the cell and its copy once all six read, lambda, then the limits. The limits
// are stored as θ: in 2θ mode the typed values are halved.
std::optional<InputError> validateInputs(const InputTexts& texts, AngleMode mode, CalculationState& state);

struct FieldExit {
  bool accepted = false;
  std::string text;                // the repaired text that was read
  std::vector<InputField> copies;  // fields the crystal system ties to this one: they take the text
};

// Leaving a numbered field: repairs and reads its text; on success stores a, b, c or alpha
// (rhombohedral: also beta and gamma) into the cell and names the tied fields. A refused text
// changes nothing.
FieldExit checkFieldExit(InputField field, std::string_view text, CalculationState& state);

// What choosing a crystal system does to the six cell fields.
struct CellFieldLayout {
  std::array<bool, 6> locked{};                       // read-only, shown silver
  std::array<std::optional<std::string>, 6> text{};  // a new text, or none to keep the field's
};
CellFieldLayout cellFieldLayout(CrystalSystem system, const UnitCell& stored, std::string_view aText);

// The monochromator's 2θ in degrees, from 0 (none) up to but not including 180; refused with
// "Error on monochromator angle".
Result<double> readMonochromatorAngle(std::string_view text);

}  // namespace obrin
