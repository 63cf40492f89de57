// The background under a powder pattern: what remains when the peaks are clipped away.
#pragma once

#include <vector>

namespace obrin {

// SNIP, statistics-sensitive non-linear iterative peak clipping (Ryan et al. 1988, Nucl.
// Instrum. Meth. B 34, 396), on the log-log-square-root scale that lets one window serve weak
// and strong peaks alike, with the window shrinking from halfWidth points to 1 (Morháč et al.
// 1997, Nucl. Instrum. Meth. A 401, 113) and the clipping filter of order 4 that follows a
// curved background (Morháč & Matoušek 2008, Appl. Spectrosc. 62, 91). A peak narrower than
// about halfWidth points is clipped away; a hump much wider than it stays. The result never
// exceeds y.
std::vector<double> snipBackground(const std::vector<double>& y, int halfWidth);

// The name the outputs give the method.
inline constexpr const char* kBackgroundMethod = "SNIP";

}  // namespace obrin
