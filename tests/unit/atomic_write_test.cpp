// A failed write must leave the previous file exactly as it was and no stray file beside it.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>

#include "io/atomic_write.hpp"
#include "tests/support/scratch.hpp"

namespace obrin {
namespace {

namespace fs = std::filesystem;

struct TempDir {
  fs::path path;
  explicit TempDir(const char* name) : path(testing_support::freshScratchDir(name)) {}
  ~TempDir() { fs::remove_all(path); }
  int entries() const {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(path)) ++n;
    return n;
  }
};

std::string fileText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(AtomicWrite, ReplacesTheWholeFile) {
  TempDir dir("obrin_atomic_replace");
  const fs::path target = dir.path / "indic.out";
  EXPECT_EQ(writeFileAtomically(target, "a long first report\nwith two lines\n").error(), "");
  EXPECT_EQ(writeFileAtomically(target, "short\n").error(), "");
  EXPECT_EQ(fileText(target), "short\n");
  EXPECT_EQ(dir.entries(), 1);
}

TEST(AtomicWrite, FailureMidWriteKeepsThePreviousFile) {
  TempDir dir("obrin_atomic_full");
  const fs::path target = dir.path / "excel.txt";
  ASSERT_EQ(writeFileAtomically(target, "previous\n").error(), "");

  // A file-size limit makes the write fail part way, as a full disk would, even for root.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string error = writeFileAtomically(target, std::string(100000, 'x')).error();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(error, "Cannot write excel.txt: File too large");
  EXPECT_EQ(fileText(target), "previous\n");
  EXPECT_EQ(dir.entries(), 1);
}

TEST(AtomicWrite, FailureToReplaceKeepsWhatIsThere) {
  TempDir dir("obrin_atomic_rename");
  const fs::path target = dir.path / "cell.ind";
  fs::create_directories(target / "inside");  // a folder of that name cannot be replaced
  const std::string error = writeFileAtomically(target, "text\n").error();
  EXPECT_EQ(error.rfind("Cannot write cell.ind: ", 0), 0u) << error;
  EXPECT_TRUE(fs::is_directory(target / "inside"));
  EXPECT_EQ(dir.entries(), 1);

  EXPECT_EQ(writeFileAtomically(dir.path / "missing" / "cell.ind", "text\n").error(),
            "Cannot write cell.ind: No such file or directory");
}

TEST(AtomicWrite, KeepsPermissionsAndWritesThroughLinks) {
  TempDir dir("obrin_atomic_link");
  const fs::path real = dir.path / "real.ind";
  const fs::path link = dir.path / "cell.ind";
  ASSERT_EQ(writeFileAtomically(real, "old\n").error(), "");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
  fs::create_symlink("real.ind", link);

  ASSERT_EQ(writeFileAtomically(link, "new\n").error(), "");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fileText(real), "new\n");
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(dir.entries(), 2);

  // A link to a file not yet there creates that file.
  fs::create_symlink("later.ind", dir.path / "dangling.ind");
  ASSERT_EQ(writeFileAtomically(dir.path / "dangling.ind", "x\n").error(), "");
  EXPECT_EQ(fileText(dir.path / "later.ind"), "x\n");
  EXPECT_TRUE(fs::is_symlink(dir.path / "dangling.ind"));
}

}  // namespace
}  // namespace obrin
