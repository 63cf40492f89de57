// The table itself comes from gemmi's copy of the International Tables coefficients.
#include "calc/form_factor.hpp"

#include <gemmi/it92.hpp>

#include <string>

namespace obrin {

std::optional<FormFactor> formFactorOf(std::string_view element) {
  if (element.empty() || element.size() > 2) return std::nullopt;
  const std::string symbol(element);
  const gemmi::Element el(symbol);
  // Only an exact symbol counts: gemmi's look-up ignores case and reads "Xy" as unknown.
  if (el.elem == gemmi::El::X || std::string_view(el.name()) != element) return std::nullopt;
  const auto* coef = gemmi::IT92<double>::get_ptr(el.elem);
  if (!coef) return std::nullopt;
  FormFactor f;
  for (int i = 0; i < 4; ++i) {
    f.a[i] = coef->a(i);
    f.b[i] = coef->b(i);
  }
  f.c = coef->c();
  return f;
}

}  // namespace obrin
