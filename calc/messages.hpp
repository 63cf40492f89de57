// The warnings of the calculations, as the user reads them.
#pragma once

namespace obrin::msg {

inline constexpr const char* kErrorCell = "Error on cell parameters";
inline constexpr const char* kErrorGroup = "Error on space group";
inline constexpr const char* kErrorLambda = "Error. No lambda!";
inline constexpr const char* kBadLambda = " Error on lambda";
inline constexpr const char* kBadTheta1 = " Error on theta1";
inline constexpr const char* kBadTheta2 = " Error on theta2";
inline constexpr const char* kTheta2Above90 = "Error on theta2 (>90)";
inline constexpr const char* kErrorMiller = "Miller indices error";
inline constexpr const char* kBadMiller = "Bad Miller indices";
inline constexpr const char* kNotPossible = "Not possible reflection";
inline constexpr const char* kTooManySeen = "Too many reflections (1)! Decrease the Theta range...";
inline constexpr const char* kTooManyListed = "Too many reflections (2)! Decrease the Theta range...";
inline constexpr const char* kTooManyRange = "Too many reflections! Decrease the range...";
inline constexpr const char* kBadMonochromator = "Error on monochromator angle";

}  // namespace obrin::msg
