#include "io/indexing_text.hpp"

#include <cmath>

#include "core/textformat.hpp"
#include "io/refinement_text.hpp"

namespace obrin {

namespace {

std::string systemList(const std::vector<CrystalSystem>& systems) {
  std::string s;
  for (CrystalSystem system : systems) s += (s.empty() ? "" : " ") + std::string(systemCode(system));
  return s;
}

std::string searchedText(const IndexingResult& r, std::size_t peaks) {
  std::string s = "Indexing: " + std::to_string(r.lines) + " of " + std::to_string(peaks) + " peaks, lambda " +
                  fixedText(r.lambda, 0, 5) + " A, systems " + systemList(r.systems) + "\n";
  s += "  tolerance " + fixedText(r.tolerance, 0, 3) + " deg 2Theta, volume up to " + fixedText(r.maxVolume, 0, 1) +
       " A^3, impurities " + std::to_string(r.impurities) + ", zero within +-" + fixedText(r.zeroRange, 0, 3) +
       " deg 2Theta\n";
  s += r.complete ? "Search complete: every system searched to its end.\n"
                  : "Search incomplete: it stopped before its end (the notes say why).\n";
  return s;
}

std::string verdictText(const IndexingResult& r) {
  const std::string rule = "M20 >= " + fixedText(kMinIndexingM20, 0, 0) + " and at most " +
                           std::to_string(r.impurities) + " unindexed " + (r.impurities == 1 ? "line" : "lines");
  if (r.indexed) return "Indexed (" + rule + "): solutions best first.\n";
  if (r.solutions.empty()) return "Not indexed: no cell was found (" + rule + ").\n";
  return "Not indexed: no cell has " + rule + "; the best tries follow.\n";
}

std::string cellLine(const UnitCell& cell) {
  std::string s;
  const auto p = cell.params();
  for (int i = 0; i < 6; ++i) s += (i ? " " : "") + fixedText(p[i], 0, i < 3 ? 5 : 3);
  return s;
}

std::string relatedText(const RelatedCell& c) {
  return "    " + std::string(relationName(c.relation)) + ": " + c.lattice + " " + cellLine(c.cell) + "  V = " +
         fixedText(c.volume, 0, 2) + " A^3  M20 = " + (std::isfinite(c.m20) ? fixedText(c.m20, 0, 1) : "infinite") +
         "\n";
}

std::string solutionText(const IndexingSolution& s, std::size_t rank, bool indexed) {
  const CrystalSystem sys = s.system;
  std::string out = (indexed ? "Solution " : "Try ") + std::to_string(rank) + ": " + std::string(systemCode(sys)) +
                    " " + s.lattice + (s.passes ? "" : " (does not pass)") + "\n";
  out += "  a = " + cellParameterText(sys, s.cell, s.cellSu, kA) +
         "  b = " + cellParameterText(sys, s.cell, s.cellSu, kB) + "  c = " + cellParameterText(sys, s.cell, s.cellSu, kC) + "  (A)\n";
  out += "  alpha = " + cellParameterText(sys, s.cell, s.cellSu, kAlpha) +
         "  beta = " + cellParameterText(sys, s.cell, s.cellSu, kBeta) +
         "  gamma = " + cellParameterText(sys, s.cell, s.cellSu, kGamma) + "  (deg)\n";
  out += "  V = " + valueWithUncertainty(s.volume, s.volumeSu, 3) + " A^3  zero = " +
         valueWithUncertainty(s.zero, s.zeroSu, 4) + " deg 2Theta\n";
  out += "  " + deWolffText(s.m20) + "\n  " + smithSnyderText(s.fN) + "\n";
  out += "  indexed " + std::to_string(s.indexed) + " of " + std::to_string(s.lines) + " lines\n";
  out += "  reduced cell " + cellLine(s.reduced) + "\n";
  if (s.higherMetric)
    out += "  the metric has a higher symmetry: " + std::string(systemCode(*s.higherMetric)) + "\n";
  if (!s.related.empty()) out += "  related cells, grouped under it:\n";
  for (const RelatedCell& c : s.related) out += relatedText(c);
  return out;
}

}  // namespace

std::string_view relationName(RelatedCell::Relation relation) {
  switch (relation) {
    case RelatedCell::Relation::SameLattice: return "same lattice";
    case RelatedCell::Relation::SubCell: return "sub-cell";
    case RelatedCell::Relation::SuperCell: return "super-cell";
    case RelatedCell::Relation::Derivative: return "derivative";
  }
  return "related";
}

std::string indexingText(const IndexingResult& r, std::size_t peaks) {
  std::string s = searchedText(r, peaks) + verdictText(r);
  for (std::size_t i = 0; i < r.solutions.size(); ++i) s += "\n" + solutionText(r.solutions[i], i + 1, r.indexed);
  if (!r.notes.empty()) s += "\nNotes:\n";
  for (const std::string& note : r.notes) s += "  " + note + "\n";
  return s;
}

}  // namespace obrin
