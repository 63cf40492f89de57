// The three calculations on cells, wavelengths, angle and index limits from anywhere in the
// range of a double: a list, an empty list or a message, within the time-out, and every listed
// index is the one whose d is listed (nothing wrapped to 16 bits).
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "calc/calculation.hpp"

using namespace obrin;

namespace {

const std::filesystem::path kDir = OBRIN_TEST_DATA_DIR "/calc";

const std::vector<std::string>& groups(CrystalSystem system) {
  static std::map<CrystalSystem, std::vector<std::string>> cache;
  auto it = cache.find(system);
  if (it == cache.end())
    it = cache.emplace(system, loadSpaceGroupList(kDir / positionFileName(system)).names).first;
  return it->second;
}

// Mostly plausible values, sometimes any double at all.
double value(FuzzedDataProvider& in, double lo, double hi) {
  switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0: return in.ConsumeFloatingPoint<double>();
    case 1: return std::ldexp(1.0, in.ConsumeIntegralInRange(-60, 60));
    default: return in.ConsumeFloatingPointInRange(lo, hi);
  }
}

void checkList(const CalculationState& st, std::size_t limit) {
  if (st.list.size() > limit) std::abort();
  for (const Reflection& r : st.list) {
    const double d = dSpacing(st.B, r.h, r.k, r.l);
    if (!(std::fabs(d - r.d) <= 1e-5 * d + 1e-30)) std::abort();
    if (!std::isfinite(r.theta) || r.multiplicity < 1) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  CalculationState st;
  const auto system = static_cast<CrystalSystem>(in.ConsumeIntegralInRange(0, kSystemCount - 1));
  st.system = system;
  const auto& names = groups(system);
  if (names.empty()) return 0;
  const std::string group = names[in.ConsumeIntegralInRange<std::size_t>(0, names.size() - 1)];
  st.cell = {value(in, 1, 40), value(in, 1, 40), value(in, 1, 40),
             value(in, 30, 150), value(in, 30, 150), value(in, 30, 150)};
  st.cellCopy = st.cell;
  st.lambda = value(in, 0.5, 3);
  st.thetaMin = value(in, 0, 30);
  st.thetaMax = value(in, 10, 90);
  std::array<std::string, 6> miller;
  for (auto& m : miller) m = std::to_string(in.ConsumeIntegralInRange(-40, 40));
  const int which = in.ConsumeIntegralInRange(0, 3);
  const std::filesystem::path file = kDir / positionFileName(system);
  // Replaying a saved input with OBRIN_FUZZ_PRINT=1 shows what it asks for.
  if (std::getenv("OBRIN_FUZZ_PRINT"))
    std::fprintf(stderr, "%s \"%s\" cell %.17g %.17g %.17g %.17g %.17g %.17g lambda %.17g theta %.17g %.17g "
                 "miller %s %s %s %s %s %s calculation %d\n",
                 std::string(systemCode(system)).c_str(), group.c_str(), st.cell.a, st.cell.b, st.cell.c,
                 st.cell.alpha, st.cell.beta, st.cell.gamma, st.lambda, st.thetaMin, st.thetaMax,
                 miller[0].c_str(), miller[1].c_str(), miller[2].c_str(), miller[3].c_str(), miller[4].c_str(),
                 miller[5].c_str(), which);

  if (which <= 1) {
    const auto out = calcul(st, group, file, which == 0 ? CalcMode::Powder : CalcMode::SingleCrystal, miller);
    if (out.ok()) checkList(st, kMaxListedReflections);
  } else if (which == 2) {
    const auto out = calcul_monocristaux(st, group, file, miller);
    if (out.ok()) checkList(st, kMaxSingleCrystalListed);
  } else {
    const auto out = calcul_bragg(st, group, file, AngleMode::TwoTheta, in.ConsumeIntegral<int>(),
                                  in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>());
    if (out.shown && (!std::isfinite(out.d) || !std::isfinite(out.theta))) std::abort();
  }
  return 0;
}
