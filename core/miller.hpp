// Miller indices h k l.
#pragma once

namespace obrin {

struct Miller {
  int h = 0, k = 0, l = 0;

  bool isOrigin() const { return h == 0 && k == 0 && l == 0; }
  Miller operator-() const { return {-h, -k, -l}; }
  friend bool operator==(const Miller&, const Miller&) = default;
};

}  // namespace obrin
