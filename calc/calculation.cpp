#include "calc/calculation.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include "calc/display.hpp"
#include "calc/messages.hpp"
#include "core/limits.hpp"
#include "core/shortest.hpp"
#include "core/textformat.hpp"

namespace obrin {

const GroupSelection& GroupKeeper::select(const std::filesystem::path& file, CrystalSystem system,
                                          const std::string& name) {
  Key key{system, name};
  if (key_ != key) {
    selection_ = selectSpaceGroup(file, system, name);
    key_ = std::move(key);
  }
  return selection_;
}

namespace {

// The checks every calculation makes first, in their order.
Result<void> checkCellAndGroup(const CalculationState& st, const std::optional<std::string>& selected) {
  if (st.cell.product() == 0) return fail(msg::kErrorCell);
  if ((!selected || !st.system) && !st.importedGroup) return fail(msg::kErrorGroup);
  return {};
}

// With a structure loaded each line gets m·|F|²·LP; the caller scales the list.
LineIntensity intensityOfState(const CalculationState& st) {
  return st.structure ? structureIntensity(st.structure, st.monochromatorTwoTheta) : LineIntensity{};
}

// Steps shared by the three calculations once the cell and the group choice have passed:
// the metric, the group and its conditions go into the state. The 'Conditions' lines are
// handed out whenever the group's entry was read, even if the group is then refused.
Result<void> prepareGroup(CalculationState& st, const std::optional<std::string>& selectedGroup,
                          const std::filesystem::path& file, GroupKeeper* keeper, bool& conditionsRead,
                          std::vector<std::string>& display) {
  // A structure's own group stands in when no group of the lists is chosen.
  const bool imported = (!selectedGroup || !st.system) && st.importedGroup;
  // The list shows the names trimmed, so the untrimmed and trimmed names are the same.
  st.groupName = imported ? st.importedGroup->name : trimmed(*selectedGroup);
  st.lattice = st.groupName.empty() ? ' ' : st.groupName[0];
  const auto metric = computeMetric(st.cell);
  if (!metric) return metric.failure();
  st.reciprocal = metric->reciprocal;
  st.B = metric->B;
  if (imported) {
    st.group = *st.importedGroup;
    conditionsRead = true;
    display = conditionsText(st.group);
    return {};
  }

  GroupSelection fresh;
  const GroupSelection& selection =
      keeper ? keeper->select(file, *st.system, st.groupName) : (fresh = selectSpaceGroup(file, *st.system, st.groupName));
  if (selection.conditionsText) {
    conditionsRead = true;
    display = *selection.conditionsText;
  }
  if (!selection.group) return selection.group.failure();
  st.group = *selection.group;
  return {};
}

Metric stateMetric(const CalculationState& st) {
  Metric m;
  m.reciprocal = st.reciprocal;
  m.B = st.B;
  return m;
}

// The list of a calculation into the state; a refusal leaves the state's list as it was.
void keepList(CalculationState& st, Result<ReflectionList> list, CalcOutcome& out) {
  if (!list) {
    out.warning = list.error();
    return;
  }
  st.list = std::move(*list);
  if (st.structure) normaliseIntensities(st.list);
}

}  // namespace

// ---- Imported structures --------------------------------------------------------------------

void dropStructure(CalculationState& st) {
  st.structure.reset();
  st.importedGroup.reset();
  st.structureSource.reset();
}

namespace {

std::string shortestText(double x) {
  char buf[kShortestRoom];
  return std::string(buf, writeShortest(buf, x));
}

// What of the inputs is no longer the structure's; empty while they are its crystal.
std::string changeFromSource(const StructureSource& src, const std::optional<CrystalSystem>& system,
                             const UnitCell& cell, const std::optional<std::string>& selectedGroup) {
  if (system != src.system)
    return "the crystal system is " + std::string(system ? systemName(*system) : "none") + ", not " +
           std::string(systemName(src.system));
  const std::string group = selectedGroup ? trimmed(*selectedGroup) : std::string();
  if (group != src.groupName)
    return "the space group is " + (group.empty() ? std::string("none of the lists") : group) + ", not " +
           (src.groupName.empty() ? std::string("the file's own") : src.groupName);
  const auto now = cell.params(), then = src.cell.params();
  for (std::size_t i = 0; i < now.size(); ++i)
    if (std::abs(now[i] - then[i]) > kSameCellValue * std::max(1.0, std::abs(then[i])))
      return std::string(kCellParameterNames[i]) + " is " + shortestText(now[i]) + ", not " + shortestText(then[i]);
  return {};
}

}  // namespace

std::string dropStructureIfLeft(CalculationState& st, const UnitCell& cell,
                                const std::optional<std::string>& selectedGroup) {
  if (!st.structureSource) return {};
  const std::string change = changeFromSource(*st.structureSource, st.system, cell, selectedGroup);
  if (change.empty()) return {};
  const std::string note = "Structure " + st.structureSource->name + " dropped: " + change +
                           "; its atoms hold for the crystal they came with.";
  dropStructure(st);
  return note;
}

// ---- Number texts ---------------------------------------------------------------------------

std::optional<int> parseWholeNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<long long>(std::numeric_limits<int>::max()) + 1) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min()) return std::nullopt;
  return static_cast<int>(v);
}

Result<std::array<int, 6>> readMillerLimits(std::array<std::string, 6>& texts) {
  std::array<int, 6> v{};
  bool ok = true;
  for (int i = 0; i < 6; ++i) {
    if (texts[i].empty()) texts[i].assign(1, '0');
    const auto n = parseWholeNumber(texts[i]);
    if (!n) ok = false;
    else v[i] = *n;
  }
  if (!ok) return fail(msg::kErrorMiller);
  if (std::all_of(v.begin(), v.end(), [](int x) { return x == 0; })) return fail(msg::kErrorMiller);
  if (v[0] > v[1] || v[2] > v[3] || v[4] > v[5]) return fail(msg::kErrorMiller);
  return v;
}

// ---- Powder ---------------------------------------------------------------------------------

CalcOutcome calcul(CalculationState& st, const std::optional<std::string>& selectedGroup,
                   const std::filesystem::path& positionFile, CalcMode mode,
                   std::array<std::string, 6>& millerTexts, GroupKeeper* keeper) {
  CalcOutcome out;
  out.structureNote = dropStructureIfLeft(st, st.cell, selectedGroup);
  Result<void> step = checkCellAndGroup(st, selectedGroup);
  if (step && st.lambda == 0) step = fail(msg::kErrorLambda);
  // A negative wavelength would give negative angles, an infinite one nothing at all.
  if (step && !usableLambda(st.lambda)) step = fail(msg::kBadLambda);
  if (step) step = prepareGroup(st, selectedGroup, positionFile, keeper, out.conditionsRead, out.conditionDisplay);
  if (!step) {
    out.warning = step.error();
    return out;
  }
  if (mode == CalcMode::SingleCrystal) {
    const auto limits = readMillerLimits(millerTexts);
    if (!limits) {
      out.warning = limits.error();
      return out;
    }
    st.millerLimits = *limits;
    const DRange range{st.lambda * kSingleCrystalDminFactor * 0.5, kSingleCrystalDmax};
    keepList(st, powderLinesInDRange(stateMetric(st), st.group, st.lambda, range, st.thetaMax, intensityOfState(st)), out);
    return out;
  }
  // The mode list with "Bragg equation" or nothing current still has the powder panel's limits.
  if (st.thetaMin == 0) st.thetaMin = kThetaMinReplacement;
  keepList(st, powderLines(stateMetric(st), st.group, st.lambda, {st.thetaMin, st.thetaMax}, intensityOfState(st)), out);
  return out;
}

// ---- Single crystal -------------------------------------------------------------------------

CalcOutcome calcul_monocristaux(CalculationState& st, const std::optional<std::string>& selectedGroup,
                                const std::filesystem::path& positionFile,
                                std::array<std::string, 6>& millerTexts, GroupKeeper* keeper) {
  CalcOutcome out;
  out.structureNote = dropStructureIfLeft(st, st.cell, selectedGroup);
  Result<void> step = checkCellAndGroup(st, selectedGroup);
  // A negative wavelength would give negative angles.
  if (step && !usableLambda(st.lambda)) step = fail(msg::kBadLambda);
  if (step) step = prepareGroup(st, selectedGroup, positionFile, keeper, out.conditionsRead, out.conditionDisplay);
  if (!step) {
    out.warning = step.error();
    return out;
  }
  const auto limits = readMillerLimits(millerTexts);
  if (!limits) {
    out.warning = limits.error();
    return out;
  }
  st.millerLimits = *limits;
  const auto& v = *limits;
  const IndexBox box{{v[0], v[2], v[4]}, {v[1], v[3], v[5]}};
  keepList(st, singleCrystalLines(stateMetric(st), st.group, st.lambda, box, intensityOfState(st)), out);
  return out;
}

// ---- Bragg equation -------------------------------------------------------------------------

BraggIndices readBraggIndices(std::array<std::string, 3>& texts) {
  BraggIndices r;
  if (texts[0].empty() && texts[1].empty() && texts[2].empty()) return r;
  std::array<std::optional<int>, 3> v;
  for (int i = 0; i < 3; ++i) {
    if (texts[i].empty()) texts[i].assign(1, '0');
    v[i] = parseWholeNumber(texts[i]);
  }
  // A field that does not read counts as 0 here: 0 0 0 gives no message whatever was typed.
  long long sum = 0;
  for (const auto& x : v) sum += x ? std::llabs(*x) : 0;
  if (sum == 0) return r;
  // Beyond 16 bits the reflection test's sums of indices could overflow, and no list of the
  // program holds such an index either.
  const auto tooLarge = [](const std::optional<int>& x) { return x && (*x > kMaxMillerIndex || *x < -kMaxMillerIndex); };
  if (!v[0] || !v[1] || !v[2] || tooLarge(v[0]) || tooLarge(v[1]) || tooLarge(v[2])) {
    r.status = BraggIndices::Status::Bad;
    r.warning = msg::kBadMiller;
    return r;
  }
  r.status = BraggIndices::Status::Ok;
  r.h = *v[0];
  r.k = *v[1];
  r.l = *v[2];
  return r;
}

BraggOutcome calcul_bragg(CalculationState& st, const std::optional<std::string>& selectedGroup,
                          const std::filesystem::path& positionFile, AngleMode angleMode, int h, int k, int l,
                          GroupKeeper* keeper) {
  BraggOutcome out;
  const Miller hkl{h, k, l};
  out.structureNote = dropStructureIfLeft(st, st.cell, selectedGroup);
  Result<void> step = checkCellAndGroup(st, selectedGroup);
  if (step && !usableLambda(st.lambda)) step = fail(msg::kBadLambda);
  for (int x : {h, k, l})
    if (step && (x > kMaxMillerIndex || x < -kMaxMillerIndex)) step = fail(msg::kBadMiller);
  if (step) step = prepareGroup(st, selectedGroup, positionFile, keeper, out.conditionsRead, out.conditionDisplay);
  if (!step) {
    out.warning = step.error();
    return out;
  }
  if (hkl.isOrigin()) return out;  // nothing to show, nothing to say
  const auto line = braggLine(stateMetric(st), st.group, st.lambda, hkl);
  if (!line) {
    out.warning = line.error();
    return out;
  }
  out.shown = true;
  out.d = line->d;
  out.theta = line->theta;
  out.forbidden = line->forbidden;
  out.dText = braggDText(line->d);
  out.angleText = braggAngleText(angleMode == AngleMode::TwoTheta ? 2 * line->theta : line->theta, out.forbidden);
  return out;
}

}  // namespace obrin
