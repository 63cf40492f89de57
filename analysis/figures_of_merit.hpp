// Figures of merit of an indexed powder pattern: how well a cell explains the observed lines,
// weighed against how many lines it could have put in their range. Indexing, space-group
// ranking and cell refinement report them alike.
#pragma once

#include <span>
#include <vector>

#include "core/result.hpp"

namespace obrin {

// One indexed line: its observed position and the position its cell gives it, in one unit
// (Q = 1/d² in Å⁻² for M_N, 2θ in degrees for F_N).
struct IndexedValue {
  double observed = 0;
  double calculated = 0;
};

// A figure and what it was made of, so that it is reported with its inputs:
// "F_N = value (meanDelta, possible)".
struct FigureOfMerit {
  int lines = 0;           // N: the indexed lines counted, the first N by observed position
  double limit = 0;        // the position of the N-th of them: observed, or calculated if higher
  double meanDelta = 0;    // ⟨|observed − calculated|⟩ over the N lines
  int possible = 0;        // distinct calculated positions up to limit
  double value = 0;        // +∞ when meanDelta is 0: nothing measures a perfect agreement
};

// de Wolff (1968), J. Appl. Cryst. 1, 108: M_N = Q_N / (2 ⟨|ΔQ|⟩ N_poss), Q_N the Q of the
// N-th observed and indexed line, N_poss the distinct calculated Q up to Q_N (up to that line's
// calculated Q where it lies higher: its own line is always possible). The lines are
// those indexed (in any order); possibleQ every line the cell and group allow from Q = 0 up,
// equal values counted once. n = 20 gives M20; with fewer indexed lines the figure is M_N of
// all of them. Refused without an indexed line, or when no possible line reaches Q_N.
Result<FigureOfMerit> deWolffFigure(std::span<const IndexedValue> lines, std::span<const double> possibleQ,
                                    int n = 20);

// Smith & Snyder (1979), J. Appl. Cryst. 12, 60: F_N = N / (⟨|Δ2θ|⟩ N_poss), over the first N
// indexed lines by observed 2θ (n ≤ 0: all of them), N_poss the distinct allowed 2θ up to the
// N-th. Same inputs and refusals as deWolffFigure, in degrees 2θ.
Result<FigureOfMerit> smithSnyderFigure(std::span<const IndexedValue> lines,
                                        std::span<const double> possibleTwoTheta, int n = 0);

// Q = 1/d² (Å⁻²) of a spacing d (Å), as M_N counts it; 0 for d ≤ 0.
double qOfSpacing(double d);

// How many of the values are distinct up to and including limit: values closer than
// kDistinctLineRelative of their size count once.
int distinctUpTo(std::span<const double> values, double limit);

}  // namespace obrin
