// The number syntax of the input fields, the repairs made on leaving a field, and the
// validation of all inputs on texts cut from the same bytes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "calc/inputs.hpp"
#include "core/numfield.hpp"

using namespace obrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  if (const auto v = parseNumber(text); v && !std::isfinite(*v)) std::abort();
  const std::string repaired = normalizeNumberText(text);
  // Each repair adds at most one character, and only empty text becomes "0".
  if (repaired.size() > text.size() + 3 || repaired.empty()) std::abort();
  if (const auto v = parseNumber(repaired); v && !std::isfinite(*v)) std::abort();

  // The nine fields, separated by newlines; then every field's exit check on the whole text.
  InputTexts texts;
  std::string* fields[9] = {&texts.cell[0], &texts.cell[1], &texts.cell[2], &texts.cell[3], &texts.cell[4],
                            &texts.cell[5], &texts.lambda,  &texts.theta1,  &texts.theta2};
  std::size_t at = 0;
  for (std::string* f : fields) {
    const std::size_t nl = text.find('\n', at);
    *f = std::string(text.substr(at, nl == std::string_view::npos ? std::string_view::npos : nl - at));
    if (nl == std::string_view::npos) break;
    at = nl + 1;
  }
  for (AngleMode mode : {AngleMode::Theta, AngleMode::TwoTheta}) {
    CalculationState state;
    const auto error = validateInputs(texts, mode, state);
    if (error && error->message.empty()) std::abort();
    if (!error) {
      for (double v : state.cell.params())
        if (!std::isfinite(v)) std::abort();
      if (!std::isfinite(state.lambda) || !std::isfinite(state.thetaMin) || !std::isfinite(state.thetaMax))
        std::abort();
    }
  }
  CalculationState state;
  for (int f = 0; f <= kInputFieldCount; ++f) {
    const FieldExit exit = checkFieldExit(static_cast<InputField>(f), text, state);
    if (exit.accepted && !parseNumber(exit.text)) std::abort();
  }
  return 0;
}
