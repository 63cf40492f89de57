// The command line of obrin-cli: its parsing into options, and the look-ups of the system,
// group, wavelength and cell words that follow it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "calc/state.hpp"
#include "cli/options.hpp"
#include "cli/resolve.hpp"

using namespace obrin;
using namespace obrin::cli;

namespace {

const std::filesystem::path kDir = OBRIN_TEST_DATA_DIR "/calc";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The arguments are separated by NUL bytes, as the kernel hands them over.
  std::vector<std::string> args(1);
  for (std::size_t i = 0; i < size && args.size() <= 40; ++i) {
    if (data[i] == 0) args.emplace_back();
    else args.back().push_back(static_cast<char>(data[i]));
  }
  const auto parsed = parseCommandLine(args);
  if (parsed.ok() == !parsed.error().empty()) std::abort();
  if (!parsed) return 0;
  const Options& o = *parsed;
  if (o.cell.size() > 6) std::abort();
  (void)formatName(o.format);
  if (o.lambda) (void)lambdaFieldText(*o.lambda);

  // The words as the program goes on to read them.
  if (o.words.empty()) return 0;
  const auto system = resolveSystem(o.words[0]);
  if (!system) return 0;
  (void)freeCellParameterNames(*system);
  (void)cellTiesText(*system);
  if (!o.cell.empty() && o.cell.size() <= freeCellParameters(*system).size()) (void)cellTexts(*system, o.cell);
  if (o.words.size() > 1) {
    const std::filesystem::path file = kDir / positionFileName(*system);
    const GroupList list = loadSpaceGroupList(file);
    if (const auto resolved = resolveGroup(list.names, o.words[1], file); resolved && *resolved) {
      const auto& group = *resolved;
      bool listed = false;
      for (const auto& n : list.names) listed = listed || n == *group;
      if (!listed) std::abort();
    }
  }
  return 0;
}
