#include "cli/options.hpp"

#include <algorithm>
#include <initializer_list>

#include "core/limits.hpp"
#include "core/shortest.hpp"

namespace obrin::cli {

namespace {

struct CommandName {
  std::string_view name;
  Command command;
};
constexpr CommandName kCommands[] = {{"groups", Command::Groups},
                                     {"conditions", Command::Conditions},
                                     {"powder", Command::Powder},
                                     {"single", Command::Single},
                                     {"bragg", Command::Bragg},
                                     {"plot", Command::Plot},
                                     {"pattern", Command::Pattern},
                                     {"peaks", Command::Peaks},
                                     {"refine", Command::Refine},
                                     {"rank", Command::Rank},
                                     {"index", Command::Index}};

constexpr std::string_view kFormatNames[] = {"list", "tsv", "json", "report", "excel", "cell"};

bool isOption(std::string_view arg) { return arg.size() > 2 && arg.substr(0, 2) == "--"; }

bool isPlotOption(std::string_view arg) {
  return arg == "--pattern" || arg == "--scan" || arg == "--axis" || arg == "--ka2" || arg == "--zero" ||
         arg == "--output" || arg == "--size" || arg == "--profile" || arg == "--peaks" || arg == "--range" ||
         arg == "--min-significance";
}

// A word --cell takes as one of its numbers. Anything else ends the numbers, so that SYSTEM and
// GROUP may follow them; a number the window would refuse ("4,2", "1e") still counts, and is
// refused by the same check as in the window.
bool looksLikeNumber(std::string_view arg) {
  if (isOption(arg)) return false;
  const auto first = arg.find_first_not_of(' ');
  if (first == std::string_view::npos) return true;  // empty or blank: the window reads it too
  const char c = arg[first];
  return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// The options each command takes.
bool optionAllowed(Command command, std::string_view option) {
  auto among = [&](std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), option) != names.end();
  };
  if (option == "--data-dir") return true;
  switch (command) {
    case Command::Powder:
      return among({"--cell", "--lambda", "--theta", "--2theta", "--from", "--format", "--decimals", "--cif",
                    "--block", "--monochromator"});
    case Command::Single:
      return among({"--cell", "--lambda", "--theta", "--2theta", "--from", "--format", "--decimals", "--limits",
                    "--cif", "--block", "--monochromator"});
    case Command::Bragg:
      return among({"--cell", "--lambda", "--theta", "--2theta", "--from", "--format", "--hkl", "--cif", "--block"});
    case Command::Plot:
      return among({"--cell", "--lambda", "--theta", "--2theta", "--cif", "--block", "--monochromator", "--pattern",
                    "--scan", "--axis", "--ka2", "--zero", "--output", "--size", "--profile", "--peaks",
                    "--min-significance"});
    case Command::Pattern: return option == "--format" || option == "--scan";
    case Command::Peaks: return among({"--scan", "--lambda", "--ka2", "--range", "--min-significance", "--format"});
    case Command::Refine:
      return among({"--cell", "--lambda", "--from", "--cif", "--block", "--peaks", "--pattern", "--scan", "--zero",
                    "--displacement", "--tolerance", "--format"});
    case Command::Rank:
      return among({"--cell", "--lambda", "--from", "--cif", "--block", "--monochromator", "--peaks", "--pattern",
                    "--scan", "--zero", "--tolerance", "--impurities", "--all-systems", "--format"});
    case Command::Index:
      return among({"--lambda", "--peaks", "--pattern", "--scan", "--lines", "--tolerance", "--max-volume",
                    "--impurities", "--zero-range", "--systems", "--format"});
    default: return false;
  }
}

std::string commandName(Command command) {
  for (const auto& c : kCommands)
    if (c.command == command) return std::string(c.name);
  return "help";
}

}  // namespace

std::optional<OutputFormat> formatFromName(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kFormatNames); ++i)
    if (kFormatNames[i] == name) return static_cast<OutputFormat>(i);
  return std::nullopt;
}

std::string_view formatName(OutputFormat format) { return kFormatNames[static_cast<int>(format)]; }

namespace {

bool knownOption(std::string_view arg) {
  for (std::string_view o : {"--cell", "--lambda", "--theta", "--2theta", "--limits", "--hkl", "--from", "--format",
                             "--decimals", "--cif", "--block", "--monochromator", "--peaks", "--displacement",
                             "--tolerance", "--impurities", "--all-systems", "--lines", "--max-volume",
                             "--zero-range", "--systems"})
    if (arg == o) return true;
  return isPlotOption(arg);
}

// The words after args[i] that an option takes, none of them an option; i moves past them.
std::optional<std::vector<std::string>> takeWords(const std::vector<std::string>& args, std::size_t& i,
                                                  std::size_t n) {
  if (i + n >= args.size()) return std::nullopt;
  std::vector<std::string> values(args.begin() + static_cast<long>(i) + 1, args.begin() + static_cast<long>(i + n) + 1);
  for (const auto& v : values)
    if (isOption(v)) return std::nullopt;
  i += n;
  return values;
}

// An option that takes one value.
Result<void> readValueOption(const std::string& arg, const std::string& value, Options& opt, bool& formatGiven) {
  if (arg == "--lambda") opt.lambda = value;
  else if (arg == "--from") opt.from = value;
  else if (arg == "--decimals") opt.decimals = value;
  else if (arg == "--data-dir") opt.dataDir = value;
  else if (arg == "--cif") opt.cif = value;
  else if (arg == "--block") opt.block = value;
  else if (arg == "--monochromator") opt.monochromator = value;
  else if (arg == "--pattern") opt.pattern = value;
  else if (arg == "--scan") opt.scan = value;
  else if (arg == "--axis") opt.axis = value;
  else if (arg == "--ka2") opt.ka2 = value;
  else if (arg == "--zero") opt.zero = value;
  else if (arg == "--output") opt.output = value;
  else if (arg == "--size") opt.size = value;
  else if (arg == "--min-significance") opt.minSignificance = value;
  else if (arg == "--tolerance") opt.tolerance = value;
  else if (arg == "--impurities") opt.impurities = value;
  else if (arg == "--lines") opt.lines = value;
  else if (arg == "--max-volume") opt.maxVolume = value;
  else if (arg == "--zero-range") opt.zeroRange = value;
  else if (arg == "--systems") opt.systems = value;
  else if (arg == "--format") {
    const auto f = formatFromName(value);
    if (!f) return fail("unknown format \"" + value + "\"");
    opt.format = *f;
    formatGiven = true;
  }
  return {};
}

// The option at args[i] with its values; i moves past them.
Result<void> readOption(const std::vector<std::string>& args, std::size_t& i, Options& opt, bool& formatGiven) {
  const std::string& arg = args[i];
  if (!optionAllowed(opt.command, arg))
    return fail(knownOption(arg) ? arg + " does not apply to " + commandName(opt.command) : "unknown option " + arg);
  if (arg == "--2theta") {
    opt.twoTheta = true;
  } else if (arg == "--peaks" && (opt.command == Command::Refine || opt.command == Command::Rank ||
                                 opt.command == Command::Index)) {
    auto v = takeWords(args, i, 1);
    if (!v) return fail("--peaks needs a peak-list FILE");
    opt.peakFile = v->front();
  } else if (arg == "--peaks") {
    opt.peaks = true;
  } else if (arg == "--range") {
    auto v = takeWords(args, i, 2);
    if (!v) return fail("--range needs two angles 2theta: T1 T2");
    opt.range = std::array<std::string, 2>{(*v)[0], (*v)[1]};
  } else if (opt.command == Command::Refine && arg == "--zero") {
    opt.refineZero = true;
  } else if (arg == "--all-systems") {
    opt.allSystems = true;
  } else if (arg == "--displacement") {
    // The goniometer radius may follow, like the numbers of --cell.
    opt.displacement = i + 1 < args.size() && looksLikeNumber(args[i + 1]) ? args[++i] : std::string();
  } else if (arg == "--cell") {
    opt.cell.clear();
    while (i + 1 < args.size() && opt.cell.size() < 6 && looksLikeNumber(args[i + 1])) opt.cell.push_back(args[++i]);
    if (opt.cell.empty()) return fail("--cell needs numbers");
  } else if (arg == "--profile") {
    // U V W, or nothing for the default shape; like --cell it takes the numbers that follow.
    std::vector<std::string> values;
    while (i + 1 < args.size() && values.size() < 3 && looksLikeNumber(args[i + 1])) values.push_back(args[++i]);
    if (!values.empty() && values.size() != 3) return fail("--profile takes U V W, or nothing for 0 0 0.01");
    opt.profile = std::move(values);
  } else if (arg == "--theta") {
    auto v = takeWords(args, i, 2);
    if (!v) return fail("--theta needs two angles");
    opt.theta = std::array<std::string, 2>{(*v)[0], (*v)[1]};
  } else if (arg == "--limits") {
    auto v = takeWords(args, i, 6);
    if (!v) return fail("--limits needs six whole numbers: HMIN HMAX KMIN KMAX LMIN LMAX");
    opt.limits.emplace();
    std::copy(v->begin(), v->end(), opt.limits->begin());
  } else if (arg == "--hkl") {
    auto v = takeWords(args, i, 3);
    if (!v) return fail("--hkl needs three whole numbers: H K L");
    opt.hkl = std::array<std::string, 3>{(*v)[0], (*v)[1], (*v)[2]};
  } else {
    auto v = takeWords(args, i, 1);
    if (!v) return fail(arg + " needs a value");
    return readValueOption(arg, v->front(), opt, formatGiven);
  }
  return {};
}

// --scan N: a whole number from 1.
bool isScanNumber(const std::string& text) {
  return !text.empty() && text.size() <= 9 && text.front() != '0' &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// What each command needs besides its options.
Result<void> checkCommand(Options& opt, bool formatGiven) {
  const std::string name = commandName(opt.command);
  if (opt.scan && !isScanNumber(*opt.scan)) return fail("--scan takes a scan number from 1");
  switch (opt.command) {
    case Command::Groups:
      if (opt.words.size() != 1) return fail("groups takes one SYSTEM");
      break;
    case Command::Conditions:
      if (opt.words.size() != 2) return fail("conditions takes a SYSTEM and a GROUP");
      break;
    case Command::Powder:
    case Command::Single:
    case Command::Bragg:
      if (opt.from && opt.cif) return fail(name + " takes --from or --cif, not both");
      if (opt.block && !opt.cif) return fail("--block needs --cif");
      if (opt.from || opt.cif) {
        if (opt.words.size() > 2)
          return fail(name + (opt.from ? " --from" : " --cif") + " takes at most a SYSTEM and a GROUP");
      } else {
        if (opt.words.size() != 2) return fail(name + " takes a SYSTEM and a GROUP, or --from FILE");
        if (opt.cell.empty()) return fail(name + " needs --cell");
        if (!opt.lambda) return fail(name + " needs --lambda");
      }
      if (opt.command == Command::Single && !opt.limits) return fail("single needs --limits");
      if (opt.command == Command::Bragg && !opt.hkl) return fail("bragg needs --hkl");
      if (opt.command == Command::Bragg && formatGiven && opt.format != OutputFormat::List &&
          opt.format != OutputFormat::Json)
        return fail("bragg prints the list or json format only");
      break;
    case Command::Plot:
      if (opt.block && !opt.cif) return fail("--block needs --cif");
      if (opt.cif) {
        if (opt.words.size() > 2) return fail("plot --cif takes at most a SYSTEM and a GROUP");
      } else {
        if (opt.words.size() != 2) return fail("plot takes a SYSTEM and a GROUP, or --cif FILE");
        if (opt.cell.empty()) return fail("plot needs --cell");
        if (!opt.lambda) return fail("plot needs --lambda");
      }
      if (!opt.output) return fail("plot needs --output FILE.png or FILE.pdf");
      if (opt.scan && !opt.pattern) return fail("--scan needs --pattern");
      if (opt.peaks && !opt.pattern) return fail("--peaks needs --pattern");
      if (opt.minSignificance && !opt.peaks) return fail("--min-significance needs --peaks");
      break;
    case Command::Peaks:
      if (opt.words.size() != 1) return fail("peaks takes one FILE");
      if (opt.format != OutputFormat::List && opt.format != OutputFormat::Tsv && opt.format != OutputFormat::Json)
        return fail("peaks prints the list, tsv or json format only");
      break;
    case Command::Pattern:
      if (opt.words.size() != 1) return fail("pattern takes one FILE");
      if (!formatGiven) opt.format = OutputFormat::Tsv;
      if (opt.format != OutputFormat::Tsv && opt.format != OutputFormat::Json)
        return fail("pattern prints the tsv or json format only");
      break;
    case Command::Refine:
      if (opt.from && opt.cif) return fail("refine takes --from or --cif, not both");
      if (opt.block && !opt.cif) return fail("--block needs --cif");
      if (opt.from || opt.cif) {
        if (opt.words.size() > 2) return fail(std::string("refine") + (opt.from ? " --from" : " --cif") +
                                              " takes at most a SYSTEM and a GROUP");
      } else {
        if (opt.words.size() != 2) return fail("refine takes a SYSTEM and a GROUP, or --from FILE or --cif FILE");
        if (opt.cell.empty()) return fail("refine needs --cell");
      }
      if (!opt.lambda && !opt.from) return fail("refine needs --lambda");
      if (opt.peakFile.has_value() == opt.pattern.has_value()) return fail("refine needs --peaks FILE or --pattern FILE");
      if (opt.scan && !opt.pattern) return fail("--scan needs --pattern");
      if (opt.format != OutputFormat::List && opt.format != OutputFormat::Tsv && opt.format != OutputFormat::Json)
        return fail("refine prints the list, tsv or json format only");
      break;
    case Command::Rank:
      if (opt.from && opt.cif) return fail("rank takes --from or --cif, not both");
      if (opt.block && !opt.cif) return fail("--block needs --cif");
      if (opt.from || opt.cif) {
        if (opt.words.size() > 1) return fail(std::string("rank") + (opt.from ? " --from" : " --cif") +
                                              " takes at most a SYSTEM");
      } else {
        if (opt.words.size() != 1) return fail("rank takes a SYSTEM, or --from FILE or --cif FILE");
        if (opt.cell.empty()) return fail("rank needs --cell");
      }
      if (!opt.lambda && !opt.from) return fail("rank needs --lambda");
      if (opt.peakFile.has_value() == opt.pattern.has_value()) return fail("rank needs --peaks FILE or --pattern FILE");
      if (opt.format != OutputFormat::List && opt.format != OutputFormat::Tsv && opt.format != OutputFormat::Json)
        return fail("rank prints the list, tsv or json format only");
      break;
    case Command::Index:
      if (!opt.words.empty())
        return fail("index takes no SYSTEM or GROUP: it finds the cell (--systems limits the search)");
      if (!opt.lambda) return fail("index needs --lambda");
      if (opt.peakFile.has_value() == opt.pattern.has_value())
        return fail("index needs --peaks FILE or --pattern FILE");
      if (opt.scan && !opt.pattern) return fail("--scan needs --pattern");
      if (opt.format != OutputFormat::List && opt.format != OutputFormat::Tsv && opt.format != OutputFormat::Json)
        return fail("index prints the list, tsv or json format only");
      break;
    case Command::Help:
    case Command::Version: break;
  }
  return {};
}

}  // namespace

Result<Options> parseCommandLine(const std::vector<std::string>& args) {
  if (std::find_if(args.begin(), args.end(), [](const std::string& a) { return a == "--help" || a == "-h"; }) !=
      args.end())
    return Options{};
  if (args.size() == 1 && args[0] == "--version") {
    Options version;
    version.command = Command::Version;
    return version;
  }
  if (args.empty()) return fail("no command given");

  Options opt;
  const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                     [&](const CommandName& c) { return c.name == args[0]; });
  if (command == std::end(kCommands)) return fail("unknown command \"" + args[0] + "\"");
  opt.command = command->command;
  bool formatGiven = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (!isOption(args[i])) opt.words.push_back(args[i]);
    else if (auto read = readOption(args, i, opt, formatGiven); !read) return read.failure();
  }
  if (auto checked = checkCommand(opt, formatGiven); !checked) return checked.failure();
  return opt;
}

std::string usageText() {
  return "usage: obrin-cli groups SYSTEM\n"
         "       obrin-cli conditions SYSTEM GROUP\n"
         "       obrin-cli powder SYSTEM GROUP --cell A [B C ALPHA BETA GAMMA] --lambda L --theta T1 T2\n"
         "                 [--2theta] [--format list|tsv|json|report|excel|cell] [--decimals N]\n"
         "       obrin-cli single SYSTEM GROUP --cell ... --lambda L --limits HMIN HMAX KMIN KMAX LMIN LMAX\n"
         "                 [--2theta] [--format ...] [--decimals N]\n"
         "       obrin-cli bragg SYSTEM GROUP --cell ... --lambda L --hkl H K L [--2theta] [--format list|json]\n"
         "       obrin-cli powder|single|bragg --from FILE.ind [SYSTEM [GROUP]] [options]\n"
         "       obrin-cli powder|single|bragg --cif FILE.cif [--block NAME] [SYSTEM [GROUP]] [options]\n"
         "       obrin-cli plot SYSTEM GROUP --cell ... --lambda L --theta T1 T2 [--2theta] [--pattern FILE]\n"
         "                 [--scan N] [--axis 2theta|theta|d|q] [--ka2 RATIO] [--zero DEG] [--profile [U V W]]\n"
         "                 [--peaks [--min-significance S]] --output FILE.png|FILE.pdf [--size WxH]\n"
         "       obrin-cli plot --cif FILE.cif [--block NAME] [SYSTEM [GROUP]] [options] --output FILE\n"
         "       obrin-cli pattern FILE [--scan N] [--format tsv|json]\n"
         "       obrin-cli peaks FILE [--scan N] [--lambda L|NAME] [--ka2 RATIO] [--range T1 T2]\n"
         "                 [--min-significance S] [--format list|tsv|json]\n"
         "       obrin-cli refine SYSTEM GROUP --cell ... --lambda L (--peaks FILE | --pattern FILE)\n"
         "                 [--zero] [--displacement [R]] [--tolerance T] [--format list|tsv|json]\n"
         "       obrin-cli refine --from FILE.ind | --cif FILE.cif [SYSTEM [GROUP]] [options]\n"
         "       obrin-cli rank SYSTEM --cell ... --lambda L (--peaks FILE | --pattern FILE) [--zero Z]\n"
         "                 [--tolerance T] [--impurities N] [--all-systems] [--format list|tsv|json]\n"
         "       obrin-cli rank --from FILE.ind | --cif FILE.cif [SYSTEM] [options]\n"
         "       obrin-cli index (--peaks FILE | --pattern FILE) --lambda L|NAME [--lines N] [--tolerance T]\n"
         "                 [--max-volume V] [--impurities N] [--zero-range Z] [--systems CUBI,TETR,...]\n"
         "                 [--format list|tsv|json]\n"
         "       obrin-cli --help | --version\n";
}

namespace {

std::string shortestText(double x) {
  char buf[kShortestRoom];
  return std::string(buf, writeShortest(buf, x));
}

// The limits of index, from the constants the search itself is held to.
std::string indexOptionsText() {
  const std::string lines = std::to_string(kDefaultIndexingLines), minLines = std::to_string(kMinIndexingLines),
                    maxLines = std::to_string(kMaxIndexingLines);
  return "  --lines N        index: the first N peaks by 2-theta are indexed (default " + lines + ", from " +
         minLines + " to " + maxLines + ").\n"
         "  --tolerance T    index: a line is indexed within T degrees 2-theta (default " +
         shortestText(kDefaultIndexingTolerance) + ", at most " + shortestText(kMaxIndexingTolerance) + ").\n"
         "  --max-volume V   index: the largest cell searched, in cubic angstrom (default " +
         shortestText(kDefaultIndexingMaxVolume) + ", at most " + shortestText(kMaxIndexingVolume) + ").\n"
         "  --impurities N   index: lines a solution may leave unindexed (default " +
         std::to_string(kDefaultIndexingImpurities) + ").\n"
         "  --zero-range Z   index: the zero shift searched, +-Z degrees 2-theta (default " +
         shortestText(kDefaultIndexingZeroRange) + ", at most " + shortestText(kMaxIndexingZeroRange) + ").\n"
         "  --systems S,...  index: the crystal systems tried, codes (or names) separated by commas\n"
         "                   (default all: CUBI,TETR,ORTH,HEXA,RHOM,MONO,TRIC), always from the highest\n"
         "                   symmetry down.\n"
         "  --lambda L|NAME  index: the wavelength of the peaks (angstrom or a row of the table).\n"
         "  --format list|tsv|json  index: a report (default: the search, whether it finished,\n"
         "                   each solution with its cell and s.u., V, zero, M20, F_N and the cells\n"
         "                   grouped under it), a row per solution, or json {complete, indexed,\n"
         "                   searched, solutions: [{system, lattice, cell, cell_su, volume, zero,\n"
         "                   M20, F_N, indexed, lines, passes, higher_metric, related}], notes},\n"
         "                   best first. A solution passes with M20 of at least " +
         shortestText(kMinIndexingM20) +
         " and no more\n"
         "                   unindexed lines than --impurities; a search in which none passes\n"
         "                   still exits 0, its answer saying 'not indexed'.\n";
}

}  // namespace

std::string helpText() {
  return usageText() +
         "\n"
         "Lists the reflections h k l of a crystal: its powder pattern between two Bragg angles\n"
         "(powder), every allowed reflection inside Miller-index limits (single), or one\n"
         "reflection at a time (bragg), with the same calculations and texts as the program obrin.\n"
         "\n"
         "Commands\n"
         "  groups SYSTEM            the space groups of a crystal system, one a line\n"
         "  conditions SYSTEM GROUP  the reflection conditions of a space group\n"
         "  powder                   every allowed reflection between the angle limits, each class\n"
         "                           of equivalent reflections once with its multiplicity\n"
         "  single                   every allowed reflection inside the Miller-index limits\n"
         "  bragg                    d and the Bragg angle of one reflection, F when forbidden\n"
         "  plot                     the powder lines drawn as sticks (height by multiplicity, or by\n"
         "                           intensity when --cif gives atoms), over a measured pattern if one\n"
         "                           is given, written as a PNG or PDF picture (by the program\n"
         "                           obrin-plot beside obrin-cli; no display needed)\n"
         "  pattern FILE             the points read from a measured pattern, the format it was read\n"
         "                           as, and its wavelength when the file stores one\n"
         "  peaks FILE               the peaks of a measured pattern: 2-theta, d, height, area, FWHM\n"
         "                           and pseudo-Voigt mixing, each with its standard uncertainty, and\n"
         "                           the significance of each peak\n"
         "  refine                   the cell refined by least squares against measured peaks: each\n"
         "                           peak takes the nearest allowed line of the group within the\n"
         "                           tolerance, the free parameters of the system (and the zero\n"
         "                           shift, the specimen displacement) are refined, and the matching\n"
         "                           repeats until it holds; the cell, V, zero and displacement with\n"
         "                           their standard uncertainties, M20, F_N and a table of the peaks\n"
         "  rank                     which space group: the groups of the system (every entry of its\n"
         "                           position file) in classes of equal allowed lines for the cell,\n"
         "                           ranked against measured peaks, best first (the rule is in the\n"
         "                           README); with --cif, the file's group is also checked against its\n"
         "                           calculated intensities\n"
         "  index                    the cell of an unknown pattern from its peak positions alone: each\n"
         "                           crystal system tried in turn, from cubic to triclinic, up to the\n"
         "                           volume limit; every candidate refined with its zero shift,\n"
         "                           reduced to its Bravais lattice and ranked by M20 and F_N, its\n"
         "                           sub- and super-cells grouped under it. Says what was searched and\n"
         "                           whether the search finished, and 'Not indexed' with the best\n"
         "                           tries when no cell passes (the methods are in the README)\n"
         "\n"
         "SYSTEM   CUBI TETR ORTH HEXA RHOM MONO TRIC, or the name of the system list (Cubic,\n"
         "         Tetragonal, Othorhombic, Hexagonal, Rhomboedral, Monoclinic, Triclinic), any case.\n"
         "GROUP    the name as 'groups' lists it; or, in any case and blanks ignored, the name\n"
         "         without its \"(N)\" suffix (pm-3m); or the space-group number alone, meaning the\n"
         "         first group of the list with that number.\n"
         "\n"
         "Options\n"
         "  --cell A B C ALPHA BETA GAMMA\n"
         "           the cell in angstrom and degrees; or only the free parameters of the system:\n"
         "           CUBI a; TETR a c; ORTH a b c; HEXA a c; RHOM a alpha; MONO a b c beta;\n"
         "           TRIC all six. The system fixes the others. Six numbers must keep the ties\n"
         "           of the system (b = a, angles of 90, ...). --cell takes the numbers that\n"
         "           follow it: give SYSTEM and GROUP before it.\n"
         "  --lambda L       the wavelength in angstrom, or a row of the wavelength table: MoKa1\n"
         "                   MoKa2 MoKmean MokBet CuKa1 CuKa2 CuKmean CukBet CrKa1 CrKa2 CoKa1 CoKa2\n"
         "                   CoKmean CokBet FeKa1 FeKa2 FeKmean FekBet CrKmean CrkBet (any case).\n"
         "  --theta T1 T2    the Bragg-angle limits in degrees (default 5 40, as the window starts).\n"
         "  --2theta         the limits are 2-theta (they are halved) and angles are printed as\n"
         "                   2-theta.\n"
         "  --limits HMIN HMAX KMIN KMAX LMIN LMAX   the Miller-index limits of 'single'.\n"
         "  --hkl H K L      the reflection of 'bragg'.\n"
         "  --from FILE.ind  read cell, space group, angle limits and wavelength from a cell file,\n"
         "                   deriving the crystal system as the window's import does; SYSTEM, GROUP\n"
         "                   and the options above replace what the file gives.\n"
         "  --cif FILE.cif   read cell, space group and atoms from a CIF (the first data block with a\n"
         "                   cell, or --block NAME). The group is the position-file entry with the\n"
         "                   file's symmetry operations; a setting that is not there (a monoclinic\n"
         "                   cell with unique axis c) runs on the file's own operators, in the\n"
         "                   triclinic system, and says so on the error output. With atoms, powder\n"
         "                   and single lines and the sticks of plot carry their relative intensity\n"
         "                   m|F|^2 LP (strongest 100; ions scatter as neutral atoms). SYSTEM, GROUP\n"
         "                   and --cell replace what the file gives.\n"
         "  --monochromator A  2-theta of a monochromator crystal in degrees, for the polarisation\n"
         "                   factor of the intensities (default 0: none).\n"
         "  --format F       list    the result lines as the window shows them, then the count line\n"
         "                           (default); for bragg: h k l, d and the angle, \" F\" when forbidden\n"
         "                   tsv     one reflection a row, tab-separated, with a header (and a\n"
         "                           column intensity when a structure is loaded)\n"
         "                   json    system, group, cell, lambda, angle, limits, mode, count and\n"
         "                           reflections [{h, k, l, d, theta, two_theta, multiplicity}]\n"
         "                           (and intensity when a structure is loaded)\n"
         "                   report  the text of the results report indic.out\n"
         "                   excel   the text of the spreadsheet export excel.txt\n"
         "                   cell    the text of a cell file (.ind) of the inputs\n"
         "  --decimals N     decimals of the angle column of report and excel (default 3), and of\n"
         "                   d and the angle in tsv (default: every digit of the stored value).\n"
         "  --data-dir DIR   read the space-group position files (C.pos, Q.pos, ...) from DIR only;\n"
         "                   by default from the current directory, then the program's data folder.\n"
         "  --pattern FILE   plot: a measured pattern drawn under the sticks; the intensity axis\n"
         "                   follows it and the tallest stick reaches its maximum. Plain columns\n"
         "                   (2theta, intensity [, sigma]: blank, tab, comma or semicolon separated,\n"
         "                   decimal commas with semicolons or tabs, comment lines #, ! and ', a\n"
         "                   name and a unit row), a 'start step end' line and counts, GSAS\n"
         "                   (constant wavelength), PANalytical .xrdml, Bruker .raw (v1-v4), .uxd\n"
         "                   and .brml, Rigaku .ras, .rasx and .dat, Fit2D .chi and powder CIF;\n"
         "                   also compressed with gzip or bzip2. The contents decide the format.\n"
         "  --scan N         pattern, plot: scan N (from 1) of a file whose scans overlap; scans\n"
         "                   that follow each other are joined without it.\n"
         "  --axis A         plot: the horizontal axis, 2theta (default), theta, d (angstrom) or\n"
         "                   q (4 pi sin(theta) / lambda, 1/angstrom).\n"
         "  --ka2 RATIO      plot: also the K-alpha-2 companion of each line, height times RATIO,\n"
         "                   drawn fainter (lambda a tube's K-alpha-1 of the table, or the pattern's).\n"
         "  --zero DEG       plot: a zero shift in degrees 2-theta added to every line.\n"
         "  --profile [U V W]  plot: also the simulated profile of the lines (and of their K-alpha-2\n"
         "                   companions): a pseudo-Voigt peak on each line with the line's height as\n"
         "                   its area and a FWHM in degrees 2-theta of sqrt(U tan^2(theta) +\n"
         "                   V tan(theta) + W) (default 0 0 0.01: 0.1 everywhere), drawn as a line\n"
         "                   whose top is as high as the tallest stick. Give SYSTEM and GROUP\n"
         "                   before it.\n"
         "  --output FILE    plot: the picture, FILE.png or FILE.pdf.\n"
         "  --size WxH       plot: its size in pixels (PNG) or points (PDF), default 1000x600.\n"
         "  --peaks          plot: also the peaks found in the measured pattern, marked above it.\n"
         "  --format tsv|json  pattern: tab-separated 2theta, intensity [, sigma] after a header\n"
         "                   (a '# wavelength' line first when stored), or json with the format,\n"
         "                   the scans and the wavelength (default tsv).\n"
         "  --peaks FILE     refine, rank, index: a peak list (plain text, a peak a row by 2theta or d, comment\n"
         "                   lines #), as the peak table exports it or typed by hand.\n"
         "  --pattern FILE   refine, rank, index: a measured pattern (as plot reads it, --scan too) whose peaks\n"
         "                   are found first, as 'Find peaks' finds them at the default significance\n"
         "                   (K-alpha-1/K-alpha-2 doublets for a tube line).\n"
         "  --zero           refine: the zero shift (degrees 2-theta) too.\n"
         "  --displacement [R]  refine: the specimen displacement s (mm) too, which moves a line by\n"
         "                   -2 s cos(theta) / R; R the goniometer radius in mm (default 240).\n"
         "  --tolerance T    refine, rank: a peak takes lines within T degrees 2-theta (default 0.1).\n"
         "  --zero Z         rank: the zero shift of the peaks, degrees 2-theta, added to every line.\n"
         "  --impurities N   rank: peaks a class may leave unexplained before it is ruled out\n"
         "                   (default 0); each still counts 1 in its score.\n"
         "  --all-systems    rank: the groups of every system whose ties the cell keeps (a cubic\n"
         "                   cell: cubic, tetragonal, orthorhombic, ...), not only SYSTEM's.\n"
         "  --format list|tsv|json  rank: a line a class (default), tab-separated rows, or json\n"
         "                   {classes: [{groups, symbol, score, ruled_out, unexplained, missing,\n"
         "                   M20}], tied, ...}, best first. --peaks and --pattern as for refine.\n"
         "  --format list|tsv|json  refine: the results as text (default), as tab-separated rows\n"
         "                   (summary lines '# ...', then a row per peak), or json {cell, zero,\n"
         "                   displacement, their s.u., correlation_zero_displacement, M20, F_N,\n"
         "                   unindexed, lines [...]}. Peaks are weighted by 1/s.u.^2 of their\n"
         "                   2-theta (s.u. at least 0.005 degrees), equally when the list has none.\n" +
         indexOptionsText() +
         "\n"
         "  peaks FILE reads the pattern as --pattern does (--scan N chooses one of its scans),\n"
         "  estimates its background (SNIP), finds the candidates on its smoothed second\n"
         "  derivative and fits each peak, and each group of overlapping peaks together, by least\n"
         "  squares with a pseudo-Voigt profile (its halves' widths following the pattern's\n"
         "  asymmetry) on a straight background. The s.u. come from the covariance scaled by\n"
         "  chi^2/nu; the significance is the height over its counting uncertainty (sqrt of the\n"
         "  counts, or the file's sigma column).\n"
         "  --lambda L|NAME  peaks: the wavelength (angstrom or a row of the table) for d; by default\n"
         "                   the one the file stores. For a K-alpha-1 line of the table, or the\n"
         "                   file's K-alpha-1 with its K-alpha-2, every peak is a K-alpha-1/K-alpha-2\n"
         "                   doublet and its 2-theta that of K-alpha-1.\n"
         "  --ka2 RATIO      peaks: the K-alpha-2/K-alpha-1 ratio of the doublets (default the file's,\n"
         "                   else 0.5); 0 fits single peaks.\n"
         "  --range T1 T2    peaks: search between these 2-theta angles only.\n"
         "  --min-significance S  peaks, plot --peaks: the least significance of a peak (default 5).\n"
         "  --format F       peaks: list (default: a table, then the notes), tsv (the peak-list file\n"
         "                   the window exports, with its header) or json {peaks [{two_theta,\n"
         "                   two_theta_su, d, height, height_su, area, area_su, fwhm, fwhm_su, eta,\n"
         "                   eta_su, significance}], wavelength, kalpha2, background, notes}; angles\n"
         "                   and FWHM in degrees 2-theta, d in angstrom (null without a wavelength).\n"
         "                   A pattern that holds no peak gives an empty list and notes why.\n"
         "  --help           this text.\n"
         "  --version        the program's version and licence.\n"
         "\n"
         "The report and excel texts begin with the local date and time as dd/mm/yyyy hh:mm:ss.\n"
         "\n"
         "Exit status: 0 done; 1 the input was refused (the window's warning is printed on the\n"
         "error output); 2 the command line is wrong.\n"
         "\n"
         "Examples\n"
         "  obrin-cli powder CUBI pm-3m --cell 4 --lambda CuKa1 --theta 5 40\n"
         "  obrin-cli powder HEXA 194 --cell 3.21 5.21 --lambda 1.5406 --theta 10 120 --2theta --format json\n"
         "  obrin-cli powder CUBI 225 --cell 4.05 --lambda CuKa1 --theta 5 60 --format cell > al.ind\n"
         "  obrin-cli bragg --from al.ind --hkl 2 0 0\n"
         "  obrin-cli plot CUBI 227 --cell 5.4309 --lambda CuKa1 --theta 10 70 --2theta --ka2 0.5 --output si.png\n"
         "  obrin-cli plot --cif si.cif --lambda CuKa1 --theta 10 90 --2theta --profile --output si.png\n"
         "  obrin-cli pattern scan.xrdml --format json\n"
         "  obrin-cli peaks scan.xrdml --range 20 80 --format json\n"
         "  obrin-cli peaks si.xy --lambda CuKa1 --min-significance 10\n"
         "  obrin-cli refine CUBI 227 --cell 5.43 --lambda CuKa1 --pattern doc/silicon-scan.xy --zero\n"
         "  obrin-cli rank ORTH --cell 5.75 7.95 5.45 --lambda CuKa1 --peaks peaks.txt --format json\n"
         "  obrin-cli index --peaks peaks.txt --lambda CuKa1 --systems CUBI,TETR,HEXA --format json\n";
}

}  // namespace obrin::cli
