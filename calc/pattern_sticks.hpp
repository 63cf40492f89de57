// What the pattern view draws, without a window: the sticks of a reflection list, their Kα2
// companions, the zero shift and the horizontal axes 2θ, θ, d and Q.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calc/profile.hpp"
#include "calc/state.hpp"
#include "core/result.hpp"

namespace obrin {

enum class PatternAxis { TwoTheta, Theta, D, Q };

// "2theta" "theta" "d" "q", as the command line names them.
std::optional<PatternAxis> patternAxisFromName(std::string_view name);
std::string_view patternAxisTitle(PatternAxis axis);  // "2θ (°)", "θ (°)", "d (Å)", "Q (Å⁻¹)"

// One line of the view. twoTheta already carries the zero shift.
struct Stick {
  int h = 0, k = 0, l = 0;
  double d = 0;          // Å
  double twoTheta = 0;   // degrees
  int multiplicity = 0;
  double height = 0;     // relative: the view scales the tallest stick to the pattern
  int row = -1;          // the line's row in the result list; -1 for a Kα2 companion
};

// A stick per reflection of the list, at 2θ = 2 asin(λ / 2d) + zero; its height is the
// line's intensity when the list has intensities, else its multiplicity.
std::vector<Stick> sticksFromList(const ReflectionList& list, double lambda, double zeroShift);

// The Kα2 companion of each stick: 2θ₂ = 2 asin(λ₂ / 2d) + zero, height × ratio; none where
// λ₂ / 2d > 1.
std::vector<Stick> alpha2Companions(const std::vector<Stick>& sticks, double lambda2, double ratio,
                                    double zeroShift);

// The simulated profile of the lines as drawn, Kα2 companions included: a pseudo-Voigt peak
// on each with the stick's height as its area, on a 2θ grid of ten points a FWHM of the
// narrowest peak that reaches five FWHM beyond the outermost lines. Refused, naming the line,
// where U tan²θ + V tanθ + W does not give a FWHM between kMinProfileFwhm and kMaxProfileFwhm.
Result<std::vector<ProfilePoint>> stickProfile(const std::vector<Stick>& sticks, const std::vector<Stick>& companions,
                                               const ProfileShape& shape);

// The Kα2 line of a tube's Kα1 line of the wavelength table; none for its Kα2, mean or Kβ
// line and for a wavelength typed by hand.
std::optional<double> alpha2Of(double lambda);

// The Kα2 line whose companions go with a calculation at λ: the pattern file's Kα2 when λ is
// the Kα1 the file stores (fileAlpha1, fileAlpha2; 0 when the file gives none), else the
// table's when λ is a tube's Kα1. None otherwise: companions of another doublet than the one
// of the calculation would be false lines.
std::optional<double> companionWavelength(double lambda, double fileAlpha1, double fileAlpha2);

// The fields of the pattern view, read as the window reads them: a number between the limits
// of core/limits.hpp, else refused naming the field and the text.
Result<double> readZeroShift(std::string_view text);
Result<double> readAlpha2Ratio(std::string_view text);

// The lines as drawn, tab-separated under a header: h k l d 2θ (zero shift included) and the
// multiplicity, d with 5 decimals and 2θ with 4.
std::string stickListText(const std::vector<Stick>& sticks);

// A 2θ angle (degrees) on the chosen axis: d = λ / 2 sinθ (Bragg), Q = 4π sinθ / λ. None
// where d is undefined (2θ ≤ 0) or λ is not positive.
std::optional<double> axisValue(PatternAxis axis, double twoTheta, double lambda);
// The inverse: the 2θ of an axis value, none outside the reach of λ.
std::optional<double> twoThetaOf(PatternAxis axis, double value, double lambda);

}  // namespace obrin
