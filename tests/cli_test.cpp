// The built tool, run as its users run it, with nothing in its environment but a locale.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
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

// `args` is shell text: a redirection in it replaces the capture of stdout. `input`, if given, is
// a shell command whose output is piped to the tool's stdin.
ToolRun runTool(const TempDir &dir, const std::string &env, const std::string &args,
                const std::string &input = "") {
  const std::string command = (input.empty() ? "" : input + " | ") + "env -i " + env +
                              " " PPD_PAPER_DEFAULTS_TOOL " >" + (dir.path / "out").string() +
                              " 2>" + (dir.path / "err").string() + " " + args;
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

TEST(Cli, AnswersEachCommandLineAndBadInputWithItsStatus) {
  TempDir dir;
  const std::string ppd = dir.write("a4.ppd", makePPD("W")), d = dir.path.string();
  ASSERT_EQ(std::system(("gzip -kn " + ppd).c_str()), 0);
  std::string gzip = readFile(ppd + ".gz");
  const std::string cut = dir.write("cut.gz", gzip.substr(0, gzip.size() - 30));
  gzip[gzip.size() - 8] ^= 1; // the CRC
  const std::string crc = dir.write("crc.gz", gzip);
  const std::string twoMembers = dir.write("two.gz", readFile(ppd + ".gz") + readFile(ppd + ".gz"));
  std::string binary(5000, '\0');
  std::minstd_rand random;
  for (char &byte : binary) {
    byte = static_cast<char>(random());
  }
#ifdef PPD_PAPER_DEFAULTS_GNUSTEP
  // GNUstep turns the arguments into strings as it starts, and stops at bytes that are not UTF-8.
  const std::string oddName = "/a b\xc3\xa9.ppd";
#else
  const std::string oddName = "/a b\xff\xc3\xa9.ppd";
#endif
  const std::string nuls(5000, '\0'), fifo = d + "/fifo", odd = d + oddName;
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0); // no writer: opening it would block
  std::filesystem::copy_file(ppd, odd);
  const std::string letter = makePPD("W", true, true), longName = d + "/" + std::string(300, 'x');
  const std::string usage = "missing PPD file (usage: ppd-paper-defaults IGNORED FILE.ppd)";
  const std::string twice = ": not a regular file (the PPD is read twice; save it to a file first)";
  const struct {
    std::string args;
    int status;
    std::string out, err;
    bool outIsPrefix = false; // output cut off, or too long to spell out
    std::string input = "";
  } cases[] = {
      {"--help", 0, "Usage: ppd-paper-defaults IGNORED FILE.ppd\n", "", true},
      {"-h", 0, "Usage: ", "", true},
      {"--version", 0, "ppd-paper-defaults 0.", "", true},
      {"", 2, "", usage},
      {ppd, 2, "", usage},
      {"x " + d + "/missing.ppd", 1, "", d + "/missing.ppd: No such file or directory"},
      {"x " + d, 1, "", d + ": Is a directory"},
      {"x " + dir.write("empty.ppd", ""), 0, "", ""},
      {"x /dev/null", 1, "", "/dev/null" + twice},
      {"x " + dir.write("binary", binary), 0, binary, ""},
      {"x " + dir.write("nuls", nuls), 0, nuls, ""},
      {"x " + cut, 1, "*PPD-Adobe", cut + ": damaged or truncated gzip data", true},
      {"x " + crc, 1, "", crc + ": damaged or truncated gzip data"},
      {"x " + twoMembers, 1, "",
       twoMembers + ": gzip data goes on after its first member and would be cut short; "
                    "decompress it first"},
      {"x " + fifo, 1, "", fifo + twice},
      {"x /dev/stdin", 1, "", "/dev/stdin" + twice, false, "cat " + ppd},
      {"x /dev/stdin <" + ppd, 0, letter, ""},
      {"x '" + odd + "'", 0, letter, ""},
      {"x " + longName, 1, "", longName + ": File name too long"},
      {"x " + ppd + " >/dev/full", 1, "",
       ppd + ": cannot write standard output: No space left on device"},
  };
  for (const auto &c : cases) {
    const ToolRun run = runTool(dir, "LC_ALL=en_US", c.args, c.input);
    EXPECT_EQ(run.status, c.status) << c.args;
    EXPECT_EQ(c.outIsPrefix ? run.out.substr(0, c.out.size()) : run.out, c.out) << c.args;
    EXPECT_EQ(run.err, c.err.empty() ? "" : "ppd-paper-defaults: " + c.err + "\n") << c.args;
  }
}

// A reader that goes away early must never leave a successful run behind: the tool dies of
// SIGPIPE as cat does (status 141 in the shell), or, when SIGPIPE is ignored, reports the write
// error. The PPD is larger than a pipe's buffer, so the tool is still writing when head exits.
TEST(Cli, NeverPassesAClosedPipeAsSuccess) {
  TempDir dir;
  std::string big = makePPD("W") + "\n";
  while (big.size() < (1u << 20)) {
    big += "*% " + std::string(76, 'x') + "\n";
  }
  const std::string ppd = dir.write("big.ppd", big), d = dir.path.string();
  const struct {
    std::string trap, status, err;
  } cases[] = {
#ifndef PPD_PAPER_DEFAULTS_GNUSTEP // GNUstep ignores SIGPIPE as it starts
      {"", "141\n", ""},
#endif
      {"trap '' PIPE; ", "1\n",
       "ppd-paper-defaults: " + ppd + ": cannot write standard output: Broken pipe\n"},
  };
  for (const auto &c : cases) {
    const std::string command = c.trap + "{ env -i " PPD_PAPER_DEFAULTS_TOOL " x " + ppd + " 2>" +
                                d + "/err; echo $? >" + d + "/status; } | head -c 1 >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(readFile(dir.path / "status"), c.status) << c.trap;
    EXPECT_EQ(readFile(dir.path / "err"), c.err) << c.trap;
  }
}
