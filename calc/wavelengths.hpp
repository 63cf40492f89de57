// Characteristic X-ray lines offered by the wavelength list, in list order (Å).
#pragma once

#include <array>
#include <string_view>

namespace obrin {

struct XrayLine {
  std::string_view name;
  double lambda;
};

// FeKa2 continues the pattern of the other anodes: Ka2 above Ka1, Kmean between them.
inline constexpr std::array<XrayLine, 20> kXrayLines = {{
    {"MoKa1", 0.7093},   {"MoKa2", 0.71359},  {"MoKmean", 0.7107}, {"MokBet", 0.63229},
    {"CuKa1", 1.54056},  {"CuKa2", 1.54439},  {"CuKmean", 1.5418}, {"CukBet", 1.39222},
    {"CrKa1", 2.2897},   {"CrKa2", 2.29361},
    {"CoKa1", 1.78897},  {"CoKa2", 1.79285},  {"CoKmean", 1.7902}, {"CokBet", 1.62079},
    {"FeKa1", 1.93604},  {"FeKa2", 1.93998},  {"FeKmean", 1.9373}, {"FekBet", 1.75661},
    {"CrKmean", 2.2909}, {"CrkBet", 2.08487},
}};

}  // namespace obrin
