// CIFs from the wild (../shared/real: databases, refinement programs, other projects' tests):
// each is read or refused as the table says, with its group, its atoms in the cell and |F|² of
// one reflection. The |F|² were computed with gemmi (tools/real_cif_reference.py) and the
// doubtful rows checked by hand. Skipped where the folder is absent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <map>

#include "calc/intensity.hpp"
#include "io/structure_import.hpp"
#include "symmetry/pot.hpp"

using namespace obrin;
namespace fs = std::filesystem;

namespace {

struct Expected {
  const char* file;     // under the real folder
  const char* refusal;  // a part of the message, or null when the file is read
  const char* group;
  double cellAtoms;
  int h, k, l;
  double f2;  // |F(hkl)|²
};

// clang-format off
constexpr Expected kTable[] = {
  {"cif/codtools__tests~inputs~00993.cif", "its label names no element", nullptr, 0, 0, 0, 0, 0},
  {"cif/codtools__tests~inputs~1000002-test-hm.cif", nullptr, "P 21/N (14)", 56, 0, 2, 1, 10478.7},
  {"cif/codtools__tests~inputs~1000002-test-hm2.cif", nullptr, "P 21/N (14)", 56, 0, 2, 1, 10478.7},
  {"cif/codtools__tests~inputs~1100107-spacegroup-with-underscore.cif", nullptr, "P 21/N (14)", 100, -1, 1, 1, 9043.93},
  {"cif/codtools__tests~inputs~12917.cif", "are not positive definite", nullptr, 0, 0, 0, 0, 0},
  {"cif/codtools__tests~inputs~2000136-reprocessed.cif", nullptr, "P 21/C (14)", 248, 2, 0, 0, 88603.7},
  {"cif/codtools__tests~inputs~2006132.cif", nullptr, "P 21 (4)", 308, 2, 1, 1, 83881.3},
  {"cif/codtools__tests~inputs~2009901.cif", nullptr, "P -3 1 C (163)", 176, 1, 0, 1, 53494.7},
  {"cif/codtools__tests~inputs~2100428-superspacegroup.cif", "unknown space-group symbol", nullptr, 0, 0, 0, 0, 0},
  {"cif/codtools__tests~inputs~4000911-high-precision-cell.cif", nullptr, "P 63 M C (186)", 26, 1, 0, 2, 6755.04},
  {"cif/codtools__tests~inputs~4063196-short-H-M.cif", nullptr, "P 21/A (14)", 180, 0, 0, 2, 146386},
  {"cif/codtools__tests~inputs~4101385.cif", nullptr, "P 21/A (14)", 832, 2, 0, 0, 472066},
  {"cif/codtools__tests~inputs~4111132.cif", nullptr, "F D D D (70)", 1840, 1, 1, 1, 2.39789e+06},
  {"cif/codtools__tests~inputs~7011014-occupancy-is-a-dot.cif", nullptr, "P 21/N (14)", 244, 1, 1, 0, 38288.8},
  {"cif/codtools__tests~inputs~7105250-oriental-name-capitalisation.cif", nullptr, "I 4/M (87)", 712, 1, 0, 1, 68792.6},
  {"cif/codtools__tests~inputs~7227613.cif", nullptr, "I 2/A (15)", 196, 0, 1, 1, 37511.7},
  {"cif/codtools__tests~inputs~9014915.cif", "its label names no element", nullptr, 0, 0, 0, 0, 0},
  {"cif/codtools__tests~inputs~AMCSD~aniso_label_mismatch~9014250.cif", nullptr, "P 21/A (14)", 168, 5, 3, 0, 4.53907e+06},
  {"cif/codtools__tests~inputs~AMCSD~duplicate_atom_labels~9000905.cif", nullptr, "C 2/C (15)", 100, -1, 1, 1, 13129},
  {"cif/codtools__tests~inputs~bs5069.cif", nullptr, "B2(1)", 1888, 0, 1, 8, 1.44243e+06},
  {"cif/codtools__tests~inputs~cif_distances~no-cell-angles.cif", nullptr, "P 3 C 1 (158)", 12, 0, 0, 2, 3886.07},
  {"cif/codtools__tests~inputs~cif_fix_values~2001495-incorrect-weighting-scheme.cif", nullptr, "F D -3 M (227)", 88, 2, 2, 2, 4.71245e+06},
  {"cif/codtools__tests~inputs~cif_fix_values~4100752-correct-values.cif", nullptr, "P 1 (1)", 624, 0, -1, 1, 171843},
  {"cif/codtools__tests~inputs~cif_fix_values~7106028-temerature-not-important.cif", nullptr, "P B C A (61)", 2872, 2, 1, 1, 866025},
  {"cif/codtools__tests~inputs~spacegroup-builder~cif~2102163.cif", nullptr, "R -3 M (166)", 666, 1, 0, 1, 615601},
  {"cif/codtools__tests~inputs~spacegroup-builder~cif~2218529.cif", nullptr, "R -3 C (167)", 1116, 2, -1, 0, 1.04594e+06},
  {"cif/codtools__tests~inputs~spacegroup-builder~cif~2310693.cif", nullptr, "R -3 M (166)", 78, 2, -1, 3, 28046.6},
  {"cif/codtools__tests~inputs~zq2107.cif", nullptr, "P -1 (2)", 66, 0, 1, 1, 15861.8},
  {"cif/codtools__tests~outputs~split~cif_split_primitive_007~converted_new7000002.cif", nullptr, "P 21/C (14)", 308, -1, 2, 1, 162912},
  {"cif/cryspy__cryspy~procedure_simulation~crystal_Ho2Ti2O7.rcif", nullptr, "F D -3 M (227)", 88, 2, 2, 2, 1.4373e+06},
  {"cif/dans__MnO.mcif", nullptr, "operators of 5yOhtAoR", 64, 4, 0, 0, 560383},
  {"cif/diffpy__tests~testdata~Ni_ref.cif", nullptr, "F M -3 M (225)", 4, 1, 1, 1, 5394.57},
  {"cif/dioptas__dioptas~tests~data~cif~apatite.cif", nullptr, "P 1 1 21/b", 84, 1, -4, -2, 52079.2},
  {"cif/good/01_CUBI__codtools__tests~outputs~split~cif_split_primitive_009~2-entries-AMCSD-cifdata~global_00002.cif", nullptr, "F M -3 M (225)", 8, 2, 0, 0, 113116},
  {"cif/good/02_CUBI__crystals__crystals~cifs~W.cif", nullptr, "I M -3 M (229)", 2, 1, 1, 0, 14791.5},
  {"cif/good/03_CUBI__codtools__tests~inputs~series9~cod~9000020.cif", nullptr, "F D -3 M (227)", 152, 1, 1, 1, 20044.8},
  {"cif/good/04_CUBI__codtools__tests~inputs~frameworks-synthetic-P432.cif", nullptr, "P 4 3 2 (207)", 7, 1, 0, 0, 407.034},
  {"cif/good/05_CUBI__crystals__crystals~cifs~Mn.cif", nullptr, "I -4 3 M (217)", 58, 4, 1, 1, 216037},
  {"cif/good/06_TETR__codtools__src~components~codcif~inputs~1516218.cif", nullptr, "P 4/N M M (129)", 22, 1, 1, 1, 921.885},
  {"cif/good/07_TETR__cryspy__tests~functional~tof~fp~cecual.cif", nullptr, "I 4 M M (107)", 14, 1, 0, 3, 17913.2},
  {"cif/good/08_TETR__crystals__crystals~cifs~In.cif", nullptr, "I 4/M M M (139)", 2, 1, 0, 1, 4702.95},
  {"cif/good/09_TETR__crystals__crystals~cifs~Sn-beta.cif", nullptr, "I 41/A M D (141)", 4, 2, 0, 0, 28193.8},
  {"cif/good/10_TETR__pyxtal__pyxtal~database~cifs~BTO.cif", nullptr, "P 4 M M (99)", 5, 1, 0, 1, 2913.66},
  {"cif/good/11_ORTH__codtools__tests~inputs~9007874-strange-H-names-no-types.cif", nullptr, "P 21 21 21 (19)", 80, 0, 2, 0, 7898.44},
  {"cif/good/12_ORTH__codtools__tests~inputs~9000133-annealed.cif", nullptr, "P C A 21 (29)", 12, 1, 1, 1, 4381.08},
  {"cif/good/13_ORTH__codtools__tests~inputs~cod2~9002545.cif", nullptr, "P 21 C N (33)", 84, 1, 1, 4, 15866.6},
  {"cif/good/14_ORTH__codtools__tests~inputs~2100348-benzene.cif", nullptr, "P B C A (61)", 48, 1, 1, 1, 3258.42},
  {"cif/good/15_ORTH__codtools__tests~inputs~AMCSD~2023-11-12~01787.cif", nullptr, "P M C N (62)", 76, 1, 1, 4, 15617.7},
  {"cif/good/16_HEXA__codtools__tests~inputs~1011060-graphite.cif", nullptr, "P 63 M C (186)", 4, 0, 0, 2, 303.034},
  {"cif/good/17_HEXA__crystals__crystals~cifs~C.cif", nullptr, "P 63/M M C (194)", 4, 0, 0, 2, 282.642},
  {"cif/good/18_HEXA__codtools__tests~inputs~polymers~8103385.cif", nullptr, "P 63/M (176)", 18, 1, 0, 0, 1809.78},
  {"cif/good/19_HEXA__codtools__tests~inputs~11678.cif", nullptr, "P 63 2 2 (182)", 20, 2, -1, 4, 74154.4},
  {"cif/good/20_HEXA__pyxtal__pyxtal~database~cifs~ht_quartz.cif", nullptr, "P 62 2 2 (180)", 9, 1, 0, 1, 1099.65},
  {"cif/good/21_TRIG__codtools__tests~inputs~wrong-multiplicity.cif", nullptr, "R -3 M (166)", 12, 1, -1, 2, 6622.17},
  {"cif/good/22_TRIG__codtools__tests~inputs~cifdata_7009762.cif", nullptr, "P 3 2 1 (150)", 9, 2, -1, 1, 6732.84},
  {"cif/good/23_TRIG__codtools__tests~inputs~AMCSD~duplicate_atom_labels~9000019.cif", nullptr, "R 3 (146)", 27, 0, 0, 6, 13923.8},
  {"cif/good/24_TRIG__codtools__tests~inputs~spacegroup-builder~cif~2009228.cif", nullptr, "R -3 (148)", 87, 0, 0, 3, 492756},
  {"cif/good/25_TRIG__codtools__tests~inputs~cif_fix_values~1100933-enums-warnings.cif", nullptr, "R 3 2 (155)", 72, 2, 0, 2, 113987},
  {"cif/good/26_MONO__codtools__tests~inputs~at2246.cif", nullptr, "P 21/C (14)", 144, 1, 3, 1, 43815},
  {"cif/good/27_MONO__codtools__tests~inputs~9001922-folded.cif", nullptr, "C 2/M (12)", 144, 1, 5, 1, 64613.2},
  {"cif/good/28_MONO__codtools__tests~inputs~PMN0_36PT_DC4.cif", nullptr, "P M (6)", 7, 0, 1, 1, 6315.39},
  {"cif/good/29_MONO__codtools__tests~inputs~AMCSD~2023-11-12~04685.cif", "its label names no element", nullptr, 0, 0, 0, 0, 0},
  {"cif/good/30_MONO__codtools__tests~inputs~1010246.cif", nullptr, "P 21 (4)", 16, 0, 1, 1, 1207.68},
  {"cif/good/31_TRIC__codtools__tests~inputs~cif_find_duplicates~enantiomers~unmarked~enantiomer.cif", nullptr, "P 1 (1)", 1, 1, 0, 0, 0.729777},
  {"cif/good/32_TRIC__codtools__tests~inputs~cif2ref~2000000-cif-special-values.cif", nullptr, "P -1 (2)", 11, 0, 1, 0, 30708.1},
  {"cif/gsastut__Magnetic-IV~data~PrSrMnO.cif", nullptr, "F M M M (69)", 48, 2, 0, 2, 184844},
  {"cif/gsastut__Magnetic-I~data~LaCaMnO3.cif", nullptr, "P B N M (62)", 24, 1, 1, 2, 44109.5},
  {"cif/gsastut__Magnetic-V~data~Mn3O4-Hausmannite.cif", nullptr, "I 41/A M D (141)", 28, 2, 1, 1, 15419.6},
  {"cif/gsastut__Simulation~data~CuCr2O4.cif", "is negative", nullptr, 0, 0, 0, 0, 0},
  {"cif/gsastut__StackingFaults-II~data~kaolinite.cif", nullptr, "C 1", 26, 0, 0, 1, 2907.65},
  {"cif/pyxtal__pyxtal~database~cifs~Fd3.cif", nullptr, "F D -3 (203)", 208, 4, 4, 0, 318748},
  {"cif/pyxtal__pyxtal~miscellaneous~cifs~Fd-3m.cif", nullptr, "F D -3 M (227)", 56, 3, 1, 1, 85075.8},
  {"cif/pyxtal__pyxtal~miscellaneous~cifs~P2=a.cif", "are not positive definite", nullptr, 0, 0, 0, 0, 0},
  {"cif/turn2__abafoa_organic_P-1.cif", nullptr, "P -1 (2)", 72, 0, -1, 2, 13027.9},
  {"cif/turn2__cod_1000057_LaB6.cif", nullptr, "P M -3 M (221)", 7, 1, 1, 0, 2432.89},
  {"cif/turn2__cod_2100513_Ca2AlNbO6.cif", nullptr, "P 21/N (14)", 24, -1, 1, 2, 13695.4},
  {"cif/turn2__cod_9008393_CoS2.cif", nullptr, "P A -3 (205)", 12, 2, 0, 0, 10661.6},
  {"cif/turn2__icsd_647605_V2O3_rhomb.cif", nullptr, "R -3 C (167)", 10, 2, 1, 1, 2718.44},
  {"cif/turn2__icsd_86350_grossular.cif", nullptr, "I A -3 D (230)", 160, 4, 2, 0, 131610},
  {"cif/turn2__icsd_86351_CoS2.cif", nullptr, "P A -3 (205)", 12, 2, 0, 0, 10667.9},
  {"cif/xrdpattern__xrdpattern~crystal~examples~test2.cif", nullptr, "R 3 M (160)", 6, 1, -1, 0, 7627.45},
  {"cif/xylib__samples~1517474.cif", nullptr, "R -3 (148)", 162, 2, -1, 0, 339893},
  {"patterns/DSMO/dsmo-raw.cif", "syntax error", nullptr, 0, 0, 0, 0, 0},
  {"patterns/DSMO/dsmo.cif", nullptr, "P B N M (62)", 24, 1, 1, 2, 51839.1},
  {"patterns/LiCoO2/1533825.cif", nullptr, "R -3 M (166)", 12, 1, 0, 4, 7590.66},
  {"patterns/LiCoO2/1550397.cif", nullptr, "R -3 M (166)", 12, 0, 0, 3, 5349.25},
  {"patterns/LiCoO2/4505482.cif", nullptr, "R -3 M (166)", 12, 0, 0, 3, 5607.08},
  {"patterns/PbSO4-Wyckoff.cif", nullptr, "P N M A (62)", 24, 2, 1, 1, 44152.6},
  {"patterns/Y2O3/Y2O3.cif", nullptr, "I A -3 (206)", 80, 2, 2, 2, 939603},
  {"patterns/cod__1516218.cif", nullptr, "P 4/N M M (129)", 22, 1, 1, 1, 921.885},
  {"patterns/xylib__1517474.cif", nullptr, "R -3 (148)", 162, 2, -1, 0, 339893},
};
// clang-format on

std::optional<fs::path> realFolder() {
  for (const fs::path& p : {fs::path(OBRIN_SOURCE_DIR) / ".." / "shared" / "real", fs::path("/work/shared/real")})
    if (fs::is_directory(p / "cif")) return p;
  return std::nullopt;
}

std::vector<fs::path> cifsUnder(const fs::path& root) {
  std::vector<fs::path> files;
  for (const char* folder : {"cif", "patterns"})
    for (const auto& e : fs::recursive_directory_iterator(root / folder)) {
      const std::string ext = e.path().extension().string();
      if (e.is_regular_file() && (ext == ".cif" || ext == ".mcif" || ext == ".rcif" || ext == ".CIF"))
        files.push_back(fs::relative(e.path(), root));
    }
  std::sort(files.begin(), files.end());
  return files;
}

fs::path positionFile(CrystalSystem s) { return fs::path(OBRIN_SOURCE_DIR) / "data" / positionFileName(s); }

// The strongest line at Cu Kα1 up to 2θ = 90°, for a row not yet in the table.
Miller strongestLine(const StructureImport& s) {
  const Metric metric = *computeMetric(s.cif.cell);
  const SpaceGroup group = s.ownGroup ? *s.ownGroup : *loadSpaceGroup(positionFile(s.system), s.system, s.group->name);
  const auto lines = powderLines(metric, group, 1.54056, {2.5, 45}, structureIntensity(s.model, 0));
  if (!lines || lines->empty()) return {1, 0, 0};
  const auto top = std::max_element(lines->begin(), lines->end(),
                                    [](const Reflection& a, const Reflection& b) { return a.intensity < b.intensity; });
  return top->hkl();
}

double squaredF(const StructureImport& s, int h, int k, int l) {
  const Metric metric = *computeMetric(s.cif.cell);
  const double d = dSpacing(metric.B, h, k, l);
  return std::norm(structureFactor(*s.model, h, k, l, 1 / (4 * d * d)));
}

}  // namespace

TEST(RealCifs, EveryFileIsReadOrRefusedAsTheTableSays) {
  const auto root = realFolder();
  if (!root) GTEST_SKIP() << "no folder of real files beside the checkout";
  int read = 0, refused = 0;
  std::map<std::string, int> reasons;
  for (const fs::path& file : cifsUnder(*root)) {
    const std::string name = file.generic_string();
    const StructureImportRead r = importStructure(*root / file, "", positionFile);
    const auto row = std::find_if(std::begin(kTable), std::end(kTable), [&](const Expected& e) { return name == e.file; });
    if (!r.structure) {
      ++refused;
      const std::string why = r.error.substr(r.error.find(": ", r.error.find(".cif")) + 2);
      if (row == std::end(kTable)) {
        ADD_FAILURE() << "not in the table: {\"" << name << "\", \"" << why << "\", nullptr, 0, 0, 0, 0, 0},";
        continue;
      }
      EXPECT_TRUE(row->refusal && r.error.find(row->refusal) != std::string::npos) << name << ": " << r.error;
      if (row->refusal) ++reasons[row->refusal];
      continue;
    }
    ++read;
    const StructureImport& s = *r.structure;
    const std::string group = s.group ? s.group->name : s.ownGroup->name;
    const double atoms = s.model ? s.model->cellAtoms : 0;
    if (row == std::end(kTable)) {
      const Miller m = s.model ? strongestLine(s) : Miller{1, 0, 0};
      ADD_FAILURE() << "not in the table: {\"" << name << "\", nullptr, \"" << group << "\", " << atoms << ", " << m.h
                    << ", " << m.k << ", " << m.l << ", " << (s.model ? squaredF(s, m.h, m.k, m.l) : 0) << "},";
      continue;
    }
    EXPECT_EQ(row->refusal, nullptr) << name << " is read";
    EXPECT_EQ(group, row->group) << name;
    EXPECT_NEAR(atoms, row->cellAtoms, 1e-6) << name;
    if (s.model) {
      const double f2 = squaredF(s, row->h, row->k, row->l);
      EXPECT_NEAR(f2, row->f2, 2e-3 * row->f2 + 1e-3) << name << " " << row->h << " " << row->k << " " << row->l;
    }
  }
  std::cout << "real CIFs: " << read << " read, " << refused << " refused\n";
  for (const auto& [why, n] : reasons) std::cout << "  " << n << " × " << why << "\n";
}
