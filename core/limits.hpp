// Fixed sizes and limits of the program, in one place.
#pragma once

#include <cstddef>

namespace obrin {

// Cells: below this G = 1 − cos²α − cos²β − cos²γ + 2 cosα cosβ cosγ the angles form no cell.
inline constexpr double kMinMetricDeterminant = 1e-9;

// Space groups.
inline constexpr int kMaxOperators = 96;            // general-position triplets of one group
inline constexpr int kMaxGroupOperators = 192;      // operators of a whole group, centring included
inline constexpr int kMaxConditions = 12;           // decoded reflection conditions of one group
inline constexpr int kMaxConditionZones = 5;        // zone tokens on one condition line
inline constexpr int kMaxConditionLineLength = 40;  // characters kept of a condition line
// Characters read of one position-file line: the longest real line is under 100.
inline constexpr int kMaxPositionLineLength = 1024;
// Groups listed of one position file: a file of blank lines must not fill the memory with names.
inline constexpr int kMaxGroupsInList = 1000000;

// Reflection lists: sized for synchrotron patterns of large cells (a protein powder, a
// framework at 0.4 Å), at a few tens of bytes a line.
inline constexpr int kMaxListedReflections = 1000000;     // lines a powder calculation may store
inline constexpr int kMaxSeenReflections = 10000000;      // equivalents counted by a powder calculation
inline constexpr int kMaxSingleCrystalListed = 1000000;   // lines a single-crystal list may hold
// Reflections a single-crystal calculation may gather: each is a line, so one more than the
// list holds already refuses it.
inline constexpr int kMaxSingleCrystalGathered = kMaxSingleCrystalListed;

// Index rows (h, k) a calculation may visit. Each costs a few operations even when no index of
// it falls in the d window; this many rows with fewer lines than the list limits take a window
// thinner than 1/2000 of an index step on a cell thousands of Å long.
inline constexpr long long kMaxVisitedRows = 30000000;

// Indices are stored in 16 bits.
inline constexpr int kMaxMillerIndex = 32767;

// d windows: a lower θ limit of 0 stands for this one; the single-crystal window.
inline constexpr double kThetaMinReplacement = 0.01;    // degrees
inline constexpr double kSingleCrystalDminFactor = 1.01; // dmin = 1.01 λ / 2
inline constexpr double kSingleCrystalDmax = 10000.0;   // Å

// Merge of coincident powder lines; beyond this many coincident pairs a line, the merge
// compares only lines whose indices have equal sizes.
inline constexpr double kCoincidentD = 0.0001;  // Å
inline constexpr std::size_t kDirectPairsPerLine = 16;

// Characters read of one cell-file line; the longest a written file holds is well under 200.
inline constexpr int kMaxCellFileLineLength = 1024;

// Default Bragg-angle limits (θ, degrees) and report decimals.
inline constexpr double kDefaultThetaMin = 5.0;
inline constexpr double kDefaultThetaMax = 20.0;
inline constexpr int kDefaultDecimals = 3;
// More decimals than this only print the noise of a single-precision angle.
inline constexpr int kMaxReportDecimals = 30;

// Crystal system of an imported cell: lengths closer than this are equal (Å), and so are
// angles closer than the second tolerance (degrees) where the rhombohedral test compares them.
inline constexpr double kCellLengthTolerance = 0.001;
inline constexpr double kCellAngleTolerance = 0.01;

// Measured patterns. The largest diffractograms hold a few 10^5 points; these bounds keep a
// mistaken or hostile file from filling the memory.
inline constexpr long long kMaxPatternFileBytes = 256LL * 1024 * 1024;
inline constexpr int kMaxPatternPoints = 4000000;
inline constexpr int kMaxPatternLineLength = 4096;  // characters read of one plain-column line
// Plain columns: numbers a row (x, y and what programs write beside them), and the name and
// unit rows above the first row.
inline constexpr int kMaxPatternColumns = 32;
inline constexpr int kMaxPatternHeaderLines = 2;
// Intensities and uncertainties beyond this are no measurement (counts stay far below it).
inline constexpr double kMaxPatternIntensity = 1e15;
// Wavelengths a file may store, Å: longer ones are damage, not radiation of a diffractometer.
inline constexpr double kMaxPatternWavelength = 100;
// Scans of one file, and how deep an instrument file's XML may nest: the formats nest about a
// dozen levels, and XML readers that recurse overflow their stack on tens of thousands.
inline constexpr int kMaxPatternScans = 100000;
inline constexpr int kMaxPatternXmlDepth = 256;
// Entries of the zip archive of a .brml or .rasx file (a scan or two dozen files each).
inline constexpr int kMaxPatternArchiveEntries = 10000;
// Two scans follow each other when the second begins no lower than this below the end of the
// first (degrees 2θ): instruments repeat the last angle of one range as the first of the next.
inline constexpr double kScanJoinTolerance = 1e-6;
// Lines of a GSAS file's header looked through for its BANK line when the extension (.raw,
// .dat, .txt) leaves the format open.
inline constexpr int kGsasHeaderLinesScanned = 64;
// Kα2 companions of the pattern view: intensity ratio Kα2/Kα1 when the user gives none.
inline constexpr double kDefaultAlpha2Ratio = 0.5;
// The ratio is below 1 for every tube; the zero shift of a diffractometer is a fraction of a
// degree, so one beyond this many degrees 2θ is a typing mistake.
inline constexpr double kMaxAlpha2Ratio = 1;
inline constexpr double kMaxZeroShift = 10;
// Two wavelengths closer than this (Å) are the same line: a tube line typed with the five
// decimals of the table, or the Kα1 a pattern file stores.
inline constexpr double kSameWavelength = 5e-5;
// Exported pictures of the pattern view (pixels, or points for a PDF).
inline constexpr int kMinPlotSide = 100;
inline constexpr int kMaxPlotSide = 10000;
// Imported structures: the site limit keeps a damaged file from filling the memory, the byte
// limit a device or a mistaken file (the largest CIFs, with their reflections, hold tens of MB).
inline constexpr int kMaxCifAtomSites = 100000;
inline constexpr long long kMaxCifFileBytes = 64LL * 1024 * 1024;
inline constexpr int kMaxOperatorNumberDigits = 6;  // digits of one number in a CIF symmetry operator
// Atom sites times the group's operators (centring included): each structure factor sums that
// many terms over two to eight, so a structure at the limit keeps a list of lines within a
// fraction of a second; 5,000 sites in F d -3 m, 100,000 in P 21/c.
inline constexpr long long kMaxAtomImages = 1000000;
// Images of an atom closer than this are one atom on a special position: coordinates written
// with four decimals (0.3333) miss theirs by up to 0.002 Å in a 30 Å cell, and split sites of
// disorder lie tenths of an ångström apart.
inline constexpr double kSameSiteDistance = 0.03;  // Å
// Cell values of an imported structure this close to the group's own (a monoclinic α of
// 90.03°, hexagonal lengths a and b that differ in the last digit) are read as the group's.
inline constexpr double kCellAngleSnap = 0.1;     // degrees
inline constexpr double kCellLengthSnap = 0.001;  // relative
// Displacements beyond this leave no line standing (B = 8π²U ≈ 79 Å²); a file that gives
// them is damaged.
inline constexpr double kMaxDisplacementU = 1.0;  // Å²
// Translations that differ by less than this (modulo 1) are equal.
inline constexpr double kTranslationTolerance = 1e-6;

// A cell value that differs from an imported structure's by more than this share of it is
// another crystal's (the fields show the file's values with every digit).
inline constexpr double kSameCellValue = 1e-9;

// Points of a simulated profile: 0.001° steps over 180°, and no more.
inline constexpr int kMaxProfilePoints = 180001;
// Peak widths (FWHM, degrees 2θ) the simulated profile draws: narrower peaks would fall between
// its points, and wider ones would make every peak cover the whole pattern.
inline constexpr double kMinProfileFwhm = 0.001;
inline constexpr double kMaxProfileFwhm = 10;

// Analysis of a measured pattern. Figures of merit count calculated lines closer than this
// part of their value as one line (equal spacings of lines the merge keeps apart).
inline constexpr double kDistinctLineRelative = 1e-7;
// The number of lines of de Wolff's figure M20.
inline constexpr int kDeWolffLines = 20;
// Matching peaks to lines: the default window, degrees 2θ.
inline constexpr double kDefaultMatchTolerance = 0.10;
// Goniometer radius of the displacement correction (mm) when the user gives none.
inline constexpr double kDefaultGoniometerRadius = 240.0;
// Cell refinement. σ(2θ) below this floor would make the uncertainties unreasonably small:
// no peak position is known better, whatever its fit says.
inline constexpr double kMinTwoThetaSu = 0.005;  // degrees
inline constexpr int kMaxMatchRounds = 20;       // matchings before the assignment must hold
inline constexpr int kMaxRefinementEvaluations = 2000;  // residual evaluations of one least squares
inline constexpr double kOutlierSigmas = 3;      // |Δ| beyond this many σ marks an outlier
inline constexpr double kStrongCorrelation = 0.9;  // |ρ| of zero and displacement worth a warning
// Singular values of the column-scaled design matrix below this part of the largest leave a
// parameter undetermined.
inline constexpr double kSingularRatio = 1e-9;
// A refinement that moves further than this from its start has run away: the matching
// tolerance only indexes lines of a cell well within it.
inline constexpr double kMaxRefinedLengthChange = 0.1;   // part of the length
inline constexpr double kMaxRefinedAngleChange = 5;      // degrees
inline constexpr double kMaxRefinedZeroChange = 1;       // degrees 2θ
inline constexpr double kMaxRefinedDisplacementChange = 2;  // mm
// Space-group ranking: the reflections of the lattice up to the last peak that it compares the
// groups on (a cell of 50 Å with Cu Kα to 90° holds some 10^6); scores closer than this
// margin (half an absence that should have been seen) tie.
inline constexpr int kMaxRankedReflections = 4000000;
inline constexpr double kRankTieMargin = 0.5;

// Peak search. Fewer points than this in the searched range cannot hold a peak with its
// background on both sides.
inline constexpr int kMinPeakSearchPoints = 16;
// Minimum significance (fitted height over its counting uncertainty) when the user gives none:
// pure noise of 10^5 points yields no peak this strong, a weak real line of a few hundred
// counts still clears it.
inline constexpr double kDefaultMinPeakSignificance = 5.0;
// Candidates: where the smoothed second derivative stands this far above its noise; then
// fitted when a peak of the pattern's width there reaches this share of the minimum
// significance. The full fit decides.
inline constexpr double kCandidateSignificance = 2.0;
inline constexpr double kCandidateSignificanceFraction = 0.7;
// Candidates weaker than this keep the width and η of the pattern's peaks at their angle in the
// fit: their points cannot tell a width from the noise.
inline constexpr double kFreeShapeSignificance = 20.0;
// Each peak is fitted over this many FWHM on either side; peaks whose windows overlap are
// fitted together, at most this many at once (a longer run is cut at its widest gaps).
inline constexpr double kPeakFitHalfWindowFwhm = 2.0;
inline constexpr int kMaxPeaksPerFit = 8;
// Evaluations of one group's least squares: the first, or the second for each parameter where
// that is more; beyond them the fit has not converged.
inline constexpr int kMinPeakFitEvaluations = 100;
inline constexpr int kPeakFitEvaluationsPerParameter = 8;
// Searches of what the fitted peaks leave unexplained (shoulders, weak neighbours).
inline constexpr int kResidualSearchRounds = 2;
// Candidates kept of one pattern: far more than any pattern holds peaks; noise beyond it is
// not worth fitting.
inline constexpr int kMaxPeakCandidates = 100000;
// The FWHM of a fitted peak lies between these many steps of the pattern and the width of its
// fit window; narrower is a spike of one or two points.
inline constexpr double kMinPeakFwhmSteps = 1.0;
// A fitted peak stays within this many FWHM of its start and its FWHM within this factor of
// the start's: beyond, it has become another peak, or none.
inline constexpr double kMaxPeakShiftFwhm = 1.0;
inline constexpr double kMaxPeakWidthChange = 4.0;
// The halves of a fitted peak differ in width by at most this share of its FWHM either way.
inline constexpr double kMaxPeakAsymmetry = 0.5;
// Two fitted peaks closer than this share of their FWHM are one peak.
inline constexpr double kMinPeakSeparationFwhm = 0.5;
// The FWHM assumed (in steps) when no peak stands out enough to measure one.
inline constexpr double kDefaultPeakFwhmSteps = 6.0;
// SNIP background: the clipping window, in FWHM of the peaks.
inline constexpr double kSnipWindowFwhm = 5.0;
// Intensities whose variance departs by more than this factor from what counting (or the
// file's σ) gives are not counts, or their σ too small: their own scatter is then taken.
inline constexpr double kCountingGainTolerance = 2.0;

// Peak-list files.
inline constexpr long long kMaxPeakListFileBytes = 64LL * 1024 * 1024;
inline constexpr int kMaxPeakListLineLength = 4096;
inline constexpr int kMaxPeakListPeaks = 1000000;

// The pattern view's match of peaks and lines: a peak and a line closer than this (degrees 2θ)
// explain each other, unless the user sets another tolerance.
inline constexpr double kDefaultPeakMatchTolerance = 0.05;
// Beyond this a tolerance explains any peak by some line of a cell of many lines.
inline constexpr double kMaxPeakMatchTolerance = 1.0;
// Lines whose d differ by less than this part stand on one stick, whose tooltip names them all
// (3 3 3 and 5 1 1 of a cubic cell): far below any diffractometer's resolution, above the
// rounding of the calculated spacings (about 1e-6).
inline constexpr double kCoincidentLineRelative = 1e-5;

// Indexing: the defaults of the search and the bounds the user may set them within.
inline constexpr int kDefaultIndexingLines = 20;
inline constexpr int kMinIndexingLines = 8;
inline constexpr int kMaxIndexingLines = 60;
inline constexpr double kDefaultIndexingTolerance = 0.03;  // degrees 2θ
inline constexpr double kMaxIndexingTolerance = 0.5;
inline constexpr double kDefaultIndexingMaxVolume = 2500;  // Å³
inline constexpr double kMaxIndexingVolume = 20000;
inline constexpr int kDefaultIndexingImpurities = 1;
inline constexpr double kDefaultIndexingZeroRange = 0.1;   // ± degrees 2θ
inline constexpr double kMaxIndexingZeroRange = 1.0;
// No edge of a cell the axial searches try is longer than this (Å): it bounds the indices each
// line may take. The triclinic trials take their base lines among the first few lines.
inline constexpr double kMaxIndexingEdge = 25;
inline constexpr int kIndexingBaseLines = 8;
// A search that has examined this many boxes or trial cells in one system stops there and says
// the search is incomplete, rather than run for hours.
inline constexpr long long kMaxIndexingNodes = 30000000;
// ... or has looked at this many candidate lines in its boxes (about a minute on one core):
// lines to high angles give each box many.
inline constexpr long long kMaxIndexingWork = 20000000000LL;
// A cell with more lines than this many times the peaks up to the last peak explains any list,
// random ones too: it is not a solution whatever its M20, and the axial searches skip it.
inline constexpr int kMaxIndexingLinesPerPeak = 10;
// The axial searches go through the volumes in shells this wide (Å³).
inline constexpr double kIndexingVolumeShell = 400;
// Solutions listed, best first; the rest are counted in the notes.
inline constexpr int kMaxIndexingSolutions = 20;
// A solution below this de Wolff M20 is not an indexing, however well it refines.
inline constexpr double kMinIndexingM20 = 10;

// A solution with this M20 or more ends the search unless the user chose the systems: the
// lower systems would only find its lattice again.
inline constexpr double kConfidentIndexingM20 = 20;

// Lattices compared in indexing: lengths within this part of themselves, angles within this
// many degrees, are the same; super-lattices are looked for up to this index (volume ratio).
inline constexpr double kLatticeLengthTolerance = 0.005;
inline constexpr double kLatticeAngleTolerance = 0.5;  // degrees
inline constexpr int kMaxSuperlatticeIndex = 4;
// The twofold-axis search of the lattice symmetry: axes missed by more than this are no axes
// of any metric a refinement leaves (Le Page 1982 searched within 3 degrees or less).
inline constexpr double kMaxLatticeAngleTolerance = 5;  // degrees
// Niggli reduction: comparisons within this part of the mean squared length (Grosse-Kunstleve,
// Sauter & Adams 2004), and the steps it may take from a basis of long, skewed vectors.
inline constexpr double kNiggliRelativeEpsilon = 1e-7;
inline constexpr int kMaxNiggliSteps = 1000;

}  // namespace obrin
