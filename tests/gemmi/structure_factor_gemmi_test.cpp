// Form factors and |F|² of the program against gemmi's own structure-factor calculator, on the
// test structures read by both.
#include <gemmi/cif.hpp>
#include <gemmi/it92.hpp>
#include <gemmi/sfcalc.hpp>
#include <gemmi/smcif.hpp>
#include <gtest/gtest.h>

#include "calc/intensity.hpp"
#include "io/cif_import.hpp"
#include "tests/support/structures.hpp"

using namespace obrin;
using namespace obrin::testing_support;

namespace {

// |F|² of both for a few reflections, gemmi's structure given its group by name (its sites
// need occupancies divided by the site multiplicity, as gemmi sums over all images).
void expectSameIntensities(const char* text, const char* groupName) {
  const CifStructure ours = *parseCif(text, "t.cif").structure;
  const Metric metric = *computeMetric(ours.cell);
  const ScatteringModel model = expandStructure(ours.atoms, ours.operators, metric);

  gemmi::SmallStructure st = gemmi::make_small_structure_from_block(gemmi::cif::read_string(text).blocks.at(0));
  st.spacegroup_hm = groupName;
  st.setup_cell_images();
  st.change_occupancies_to_crystallographic();
  gemmi::StructureFactorCalculator<gemmi::IT92<double>> calc(st.cell);

  for (const auto& hkl : {gemmi::Miller{1, 1, 1}, gemmi::Miller{2, 0, 0}, gemmi::Miller{1, 2, 3},
                          gemmi::Miller{-3, 1, 2}, gemmi::Miller{4, 0, -2}, gemmi::Miller{0, 5, 1}}) {
    const double d = dSpacing(metric.B, hkl[0], hkl[1], hkl[2]);
    const double ourF2 = std::norm(structureFactor(model, hkl[0], hkl[1], hkl[2], 1 / (4 * d * d)));
    const double gemmiF2 = std::norm(calc.calculate_sf_from_small_structure(st, hkl));
    // The program's degree factor (57.2957) moves the metric by about 1e-6.
    EXPECT_NEAR(ourF2, gemmiF2, 1e-5 * gemmiF2 + 1e-4) << groupName << " " << hkl[0] << hkl[1] << hkl[2];
  }
}

}  // namespace

TEST(StructureFactorAgainstGemmi, FormFactorsOfTheTable) {
  for (const char* el : {"H", "C", "O", "Na", "Si", "Cl", "Fe", "Ag", "U"}) {
    const FormFactor f = *formFactorOf(el);
    const auto& g = gemmi::IT92<double>::get(gemmi::find_element(el));
    for (double s2 : {0.0, 0.05, 0.3, 1.2}) EXPECT_DOUBLE_EQ(f.at(s2), g.calculate_sf(s2)) << el << " " << s2;
  }
  EXPECT_FALSE(formFactorOf("Xx"));
  EXPECT_FALSE(formFactorOf("fe"));
}

TEST(StructureFactorAgainstGemmi, SquaredModuli) {
  expectSameIntensities(kNaClCif, "F m -3 m");
  expectSameIntensities(kCorundumCif, "R -3 c:H");
  expectSameIntensities(kMonoclinicCif, "P 1 21/n 1");  // anisotropic atoms, partial occupancy
}
