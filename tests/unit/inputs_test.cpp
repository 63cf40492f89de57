#include <gtest/gtest.h>

#include "calc/inputs.hpp"
#include "calc/wavelengths.hpp"

using namespace obrin;

namespace {

InputTexts goodTexts() {
  InputTexts t;
  t.cell = {"4", "5", "6", "90", "100", "90"};
  t.lambda = "1.5406";
  t.theta1 = "5";
  t.theta2 = "40";
  return t;
}

}  // namespace

std::string& textOf(InputTexts& t, InputField f) {
  switch (f) {
    case InputField::Lambda: return t.lambda;
    case InputField::Theta1: return t.theta1;
    case InputField::Theta2: return t.theta2;
    default: return t.cell.at(static_cast<int>(f) - 1);
  }
}

TEST(Validation, ReportsTheFirstBadFieldWithItsMessage) {
  using F = InputField;
  struct Case {
    std::vector<std::pair<F, std::string>> spoilt;
    F field;
    const char* message;
  };
  const Case cases[] = {
      {{{F::A, ""}}, F::A, " Cell parameter error"},
      {{{F::B, "x"}}, F::B, " Error on b"},
      {{{F::C, "1,2"}}, F::C, " Error on c"},
      {{{F::Alpha, "9 0"}}, F::Alpha, " Error on alpha"},
      {{{F::Beta, "-"}}, F::Beta, " Error sur beta"},
      {{{F::Gamma, " "}}, F::Gamma, " Error sur gamma"},
      {{{F::Lambda, ""}}, F::Lambda, " Error on lambda"},
      {{{F::Theta1, "5 "}}, F::Theta1, " Error on theta1"},
      {{{F::Theta2, "abc"}}, F::Theta2, " Error on theta2"},
      {{{F::Theta2, "90.01"}}, F::Theta2, "Error on theta2 (>90)"},
      // Earlier fields win: a bad a hides a bad lambda.
      {{{F::Lambda, "?"}, {F::A, "?"}}, F::A, " Cell parameter error"},
  };
  for (const auto& c : cases) {
    InputTexts t = goodTexts();
    for (const auto& [field, text] : c.spoilt) textOf(t, field) = text;
    CalculationState state;
    auto err = validateInputs(t, AngleMode::Theta, state);
    ASSERT_TRUE(err) << c.message;
    EXPECT_EQ(err->field, c.field);
    EXPECT_EQ(err->message, c.message);
  }
}

TEST(Validation, StoresWhatPassedBeforeTheFailure) {
  InputTexts t = goodTexts();
  t.theta1 = "bad";
  CalculationState state;
  ASSERT_TRUE(validateInputs(t, AngleMode::Theta, state));
  EXPECT_EQ(state.cell.beta, 100);
  EXPECT_EQ(state.cellCopy.c, 6);
  EXPECT_EQ(state.lambda, 1.5406);
  EXPECT_EQ(state.thetaMin, kDefaultThetaMin);  // untouched
}

TEST(Validation, UpperLimitByAngleMode) {
  struct Case {
    const char* theta2;
    AngleMode mode;
    bool ok;
  };
  const Case cases[] = {
      {"90", AngleMode::Theta, true},     {"90.01", AngleMode::Theta, false},
      {"180", AngleMode::TwoTheta, true}, {"180.01", AngleMode::TwoTheta, false},
      {"-5", AngleMode::Theta, true},  // only the upper bound is checked
  };
  for (const auto& c : cases) {
    InputTexts t = goodTexts();
    t.theta2 = c.theta2;
    CalculationState state;
    EXPECT_EQ(!validateInputs(t, c.mode, state), c.ok) << c.theta2;
  }
}

TEST(Validation, KeepsLimitsAsThetaInTwoThetaMode) {
  InputTexts t = goodTexts();
  t.theta1 = "10";
  t.theta2 = "180";
  CalculationState state;
  ASSERT_FALSE(validateInputs(t, AngleMode::TwoTheta, state));
  EXPECT_EQ(state.thetaMin, 5);
  EXPECT_EQ(state.thetaMax, 90);

  // A refused second limit must not leave a 2θ value in the first.
  t.theta1 = "30";
  t.theta2 = "181";
  ASSERT_TRUE(validateInputs(t, AngleMode::TwoTheta, state));
  EXPECT_EQ(state.thetaMin, 15);
  EXPECT_EQ(state.thetaMax, 90);
}

TEST(FieldExit, CopiesTiedParametersByCrystalSystem) {
  struct Case {
    std::optional<CrystalSystem> system;
    InputField field;
    std::vector<InputField> copies;
  };
  using F = InputField;
  const Case cases[] = {
      {CrystalSystem::Cubic, F::A, {F::B, F::C}},
      {CrystalSystem::Rhombohedral, F::A, {F::B, F::C}},
      {CrystalSystem::Tetragonal, F::A, {F::B}},
      {CrystalSystem::Hexagonal, F::A, {F::B}},
      {CrystalSystem::Orthorhombic, F::A, {}},
      {std::nullopt, F::A, {}},
      {CrystalSystem::Rhombohedral, F::Alpha, {F::Beta, F::Gamma}},
      {CrystalSystem::Cubic, F::Alpha, {}},
      {CrystalSystem::Cubic, F::B, {}},
  };
  for (const auto& c : cases) {
    CalculationState state;
    state.system = c.system;
    auto r = checkFieldExit(c.field, "4.", state);
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.text, "4.0");
    EXPECT_EQ(r.copies, c.copies) << static_cast<int>(c.field);
  }
}

TEST(FieldExit, StoresCellValuesAndRefusesBadText) {
  CalculationState state;
  state.system = CrystalSystem::Rhombohedral;
  EXPECT_TRUE(checkFieldExit(InputField::Alpha, " .5", state).accepted);
  EXPECT_EQ(state.cell.alpha, 0.5);
  EXPECT_EQ(state.cell.beta, 0.5);
  EXPECT_EQ(state.cell.gamma, 0.5);

  auto bad = checkFieldExit(InputField::A, "1,5", state);
  EXPECT_FALSE(bad.accepted);
  EXPECT_TRUE(bad.copies.empty());
  EXPECT_EQ(state.cell.a, 0);

  // Fields 5 to 9 are only read; nothing is stored.
  EXPECT_TRUE(checkFieldExit(InputField::Lambda, "2", state).accepted);
  EXPECT_EQ(state.lambda, 0);
  // No field entered yet: the empty text reads as 0 and passes.
  EXPECT_TRUE(checkFieldExit(InputField::None, "garbage", state).accepted);
}

TEST(CellFields, LockingAndFixedTextsOfEverySystem) {
  struct Case {
    CrystalSystem system;
    std::array<bool, 6> locked;
    std::array<const char*, 6> text;  // nullptr: text kept
  };
  const char* a = "4.2";
  const Case cases[] = {
      {CrystalSystem::Cubic, {0, 1, 1, 1, 1, 1}, {nullptr, a, a, "90", "90", "90"}},
      {CrystalSystem::Tetragonal, {0, 1, 0, 1, 1, 1}, {nullptr, a, nullptr, "90", "90", "90"}},
      {CrystalSystem::Orthorhombic, {0, 0, 0, 1, 1, 1}, {nullptr, nullptr, nullptr, "90", "90", "90"}},
      {CrystalSystem::Hexagonal, {0, 1, 0, 1, 1, 1}, {nullptr, a, nullptr, "90", "90", "120"}},
      {CrystalSystem::Rhombohedral, {0, 1, 1, 0, 1, 1}, {nullptr, a, a, "  72.500", "  72.500", "  72.500"}},
      {CrystalSystem::Monoclinic, {0, 0, 0, 1, 0, 1}, {nullptr, nullptr, nullptr, "90", " 101.250", "90"}},
      {CrystalSystem::Triclinic, {0, 0, 0, 0, 0, 0}, {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}},
  };
  const UnitCell stored{1, 2, 3, 72.5, 101.25, 95};
  for (const auto& c : cases) {
    auto layout = cellFieldLayout(c.system, stored, a);
    EXPECT_EQ(layout.locked, c.locked) << systemName(c.system);
    for (int i = 0; i < 6; ++i) {
      if (c.text[i]) EXPECT_EQ(layout.text[i], std::optional<std::string>(c.text[i])) << systemName(c.system) << i;
      else EXPECT_FALSE(layout.text[i]) << systemName(c.system) << i;
    }
  }
  // An empty a is not copied.
  auto cubic = cellFieldLayout(CrystalSystem::Cubic, stored, "");
  EXPECT_FALSE(cubic.text[1]);
  EXPECT_FALSE(cubic.text[2]);
}

TEST(Wavelengths, KaLinesBracketTheirMeans) {
  auto value = [](std::string_view anode, std::string_view line) {
    for (const auto& x : kXrayLines)
      if (x.name.substr(0, 2) == anode && x.name.substr(2) == line) return x.lambda;
    ADD_FAILURE() << anode << line;
    return 0.0;
  };
  for (std::string_view anode : {"Mo", "Cu", "Cr", "Co", "Fe"}) {
    const double ka1 = value(anode, "Ka1"), ka2 = value(anode, "Ka2"), mean = value(anode, "Kmean");
    EXPECT_LT(ka1, ka2) << anode;
    EXPECT_GT(mean, ka1) << anode;
    EXPECT_LT(mean, ka2) << anode;
  }
  EXPECT_EQ(value("Fe", "Ka2"), 1.93998);
}
