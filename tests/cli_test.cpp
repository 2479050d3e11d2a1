// The built tool, run as its users run it, with nothing in its environment but a locale.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string readFile(const std::filesystem::path &path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

// A private folder for one test's files, removed at the end.
struct TempDir {
  std::filesystem::path path =
      mkdtemp((std::filesystem::temp_directory_path() / "ppd-test.XXXXXX").string().data());
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string write(const std::string &name, const std::string &bytes) const {
    std::ofstream(path / name, std::ios::binary) << bytes;
    return (path / name).string();
  }
};

struct ToolRun {
  int status;
  std::string out, err;
};

// `args` is shell text: a redirection in it replaces the capture of stdout.
ToolRun runTool(const TempDir &dir, const std::string &env, const std::string &args) {
  const std::string command = "env -i " + env + " " PPD_PAPER_DEFAULTS_TOOL " >" +
                              (dir.path / "out").string() + " 2>" + (dir.path / "err").string() +
                              " " + args;
  const int status = std::system(command.c_str());
  return {WEXITSTATUS(status), readFile(dir.path / "out"), readFile(dir.path / "err")};
}

// A PPD that the CUPS parser reads, A4 by default, with a CR LF line and no final line feed; or
// what the tool makes of it when it sets Letter.
std::string makePPD(const std::string &market, bool offersLetter = true, bool asLetter = false) {
  const std::string value = asLetter ? ": Letter\n" : ": A4\n";
  return "*PPD-Adobe: \"4.3\"\n*TOLVMarket: " + market +
         "\n*OpenUI *PageSize: PickOne\n*DefaultPageSize" + value + "*PageSize A4: \"a\"\n" +
         (offersLetter ? "*PageSize Letter: \"l\"\n" : "") + "*CloseUI: *PageSize\n" +
         "*DefaultPageRegion" + value + "*DefaultImageableArea" + (asLetter ? value : ": A4\r\n") +
         "*DefaultPaperDimension" + (asLetter ? value : ": A4");
}

} // namespace

TEST(Cli, CopiesOrRewritesThePPD) {
  TempDir dir;
  const std::string a4 = makePPD("W"), letter = makePPD("W", true, true), jjj(40, 'J');
  std::string longText; // more than one block of output, with a line across the block boundary
  for (int i = 0; i < 7000; ++i) {
    longText += "*% comment\n";
  }
  const std::string ppd = dir.write("a4.ppd", a4);
  ASSERT_EQ(std::system(("gzip -kn " + ppd).c_str()), 0);
  const struct {
    std::string path, env, output;
  } cases[] = {
      {ppd, "LC_ALL=en_US.UTF-8", letter},
      {ppd + ".gz", "LANG=en_CA.UTF-8", letter},
      {ppd, "LC_ALL=de_DE.UTF-8", a4},
      {ppd + ".gz", "LANG=C.UTF-8", a4},
      {dir.write("j.ppd", makePPD("J")), "LC_ALL=en_US", makePPD("J")},
      {dir.write("a4-only.ppd", makePPD("W", false)), "LC_ALL=en_US", makePPD("W", false)},
      {dir.write("jjj.ppd", makePPD(jjj)), "LC_ALL=en_US", makePPD(jjj, true, true)},
      {dir.write("text", "*DefaultPageSize:A4"), "LC_ALL=en_CA", "*DefaultPageSize: Letter\n"},
      {dir.write("empty.ppd", ""), "LC_ALL=en_US", ""},
      {dir.write("long", longText + "*DefaultPageSize:A4"), "LC_ALL=en_CA",
       longText + "*DefaultPageSize: Letter\n"},
  };
  for (const auto &c : cases) {
    const ToolRun run = runTool(dir, c.env, "--help " + c.path + " ignored");
    EXPECT_EQ(run.status, 0) << c.path << " " << c.env;
    EXPECT_EQ(run.out, c.output) << c.path << " " << c.env;
    EXPECT_EQ(run.err, "") << c.path << " " << c.env;
  }
}

TEST(Cli, AnswersEachCommandLineWithItsStatus) {
  TempDir dir;
  const std::string ppd = dir.write("a4.ppd", makePPD("W")), d = dir.path.string();
  ASSERT_EQ(std::system(("gzip -kn " + ppd).c_str()), 0);
  std::string gzip = readFile(ppd + ".gz");
  const std::string cut = dir.write("cut.gz", gzip.substr(0, gzip.size() - 30));
  gzip[gzip.size() - 8] ^= 1; // the CRC
  const std::string crc = dir.write("crc.gz", gzip);
  const std::string usage = "missing PPD file (usage: ppd-paper-defaults IGNORED FILE.ppd)";
  const struct {
    std::string args;
    int status;
    std::string outStart, err;
  } cases[] = {
      {"--help", 0, "Usage: ppd-paper-defaults IGNORED FILE.ppd\n", ""},
      {"-h", 0, "Usage: ", ""},
      {"--version", 0, "ppd-paper-defaults 0.", ""},
      {"", 2, "", usage},
      {ppd, 2, "", usage},
      {"x " + d + "/missing.ppd", 1, "", d + "/missing.ppd: No such file or directory"},
      {"x " + d, 1, "", d + ": Is a directory"},
      {"x " + cut, 1, "*PPD-Adobe", cut + ": damaged or truncated gzip data"},
      {"x " + crc, 1, "", crc + ": damaged or truncated gzip data"},
      {"x " + ppd + " >/dev/full", 1, "",
       ppd + ": cannot write standard output: No space left on device"},
  };
  for (const auto &c : cases) {
    const ToolRun run = runTool(dir, "LC_ALL=en_US", c.args);
    EXPECT_EQ(run.status, c.status) << c.args;
    EXPECT_EQ(run.out.rfind(c.outStart, 0), 0u) << c.args;
    EXPECT_TRUE(c.status == 0 || !c.outStart.empty() || run.out.empty()) << c.args;
    EXPECT_EQ(run.err, c.err.empty() ? "" : "ppd-paper-defaults: " + c.err + "\n") << c.args;
  }
}
