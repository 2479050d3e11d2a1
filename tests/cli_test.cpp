// The built tool, run as its users run it, with nothing in its environment but what a case sets.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string readFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
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

// A PPD that the CUPS parser reads, A4 by default, with a CR LF line and no final line feed; or
// what the tool makes of it when it sets Letter. `letter` names its second PageSize choice.
std::string makePPD(const std::string &market, const std::string &letter = "Letter",
                    bool asLetter = false) {
  const std::string value = asLetter ? ": Letter\n" : ": A4\n";
  return "*PPD-Adobe: \"4.3\"\n*TOLVMarket: " + market +
         "\n*OpenUI *PageSize: PickOne\n*DefaultPageSize" + value + "*PageSize A4: \"a\"\n" +
         "*PageSize " + letter + ": \"l\"\n*CloseUI: *PageSize\n" + "*DefaultPageRegion" + value +
         "*DefaultImageableArea" + (asLetter ? value : ": A4\r\n") + "*DefaultPaperDimension" +
         (asLetter ? value : ": A4");
}

} // namespace

TEST(Cli, AnswersEachInputWithItsOutputAndStatus) {
  TempDir dir;
  const std::string d = dir.path.string(), a4 = makePPD("W"), letter = makePPD("W", "Letter", true);
  const std::string ppd = dir.write("a4.ppd", a4), jjj(40, 'J');
  ASSERT_EQ(std::system(("gzip -kn " + ppd).c_str()), 0);
  std::string gzip = readFile(ppd + ".gz");
  const std::string cut = dir.write("cut.gz", gzip.substr(0, gzip.size() - 30));
  gzip[gzip.size() - 8] ^= 1; // the CRC
  const std::string crc = dir.write("crc.gz", gzip);
  const std::string twoMembers = dir.write("two.gz", readFile(ppd + ".gz") + readFile(ppd + ".gz"));
  const std::string gzipAndLF = dir.write("lf.gz", readFile(ppd + ".gz") + "\n");
  // Several 64 KiB blocks of output, more than a pipe holds, with a two-byte line across the end
  // of the first block; and one block to the byte.
  std::string manyLines = "\n";
  while (manyLines.size() < 200000) {
    manyLines += "a\n";
  }
  const std::string long_ = dir.write("long", manyLines + "*DefaultPageSize:A4");
  const std::string block = dir.write("block", std::string(65536, '\n'));
  const std::string nuls(5000, '\0'), fifo = d + "/fifo", pipe = d + "/pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0); // no writer: opening it would block
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0); // read by a head that goes away after one byte
  const std::string head = "head -c 1 " + pipe + " >/dev/null & ";
  const std::string usage = "missing PPD file (usage: ppd-paper-defaults IGNORED FILE.ppd)";
  const std::string twice = ": not a regular file (the PPD is read twice; save it to a file first)";
  const std::string goesOn =
      ": gzip data goes on after its first member and would be cut short; decompress it first";
  const std::string full = ": cannot write standard output: No space left on device";
  const std::string noPageSize = "*PPD-Adobe: \"4.3\"\n*DefaultPageSize: A4\n";
  const struct {
    std::string env, args;
    int status;
    std::string out, err = "";
    bool outIsPrefix = false; // output cut off, or too long to spell out
    std::string shell = "";   // run first, in the shell that starts the tool
  } cases[] = {
      // The locale, the market and the PageSize choices decide; the first argument is not read.
      {"LC_ALL=en_US.UTF-8", "--help " + ppd + " ignored", 0, letter},
      {"LANG=en_CA.UTF-8", "x " + ppd + ".gz", 0, letter},
      {"LC_ALL=de_DE.UTF-8", "x " + ppd, 0, a4},
      {"LC_ALL=C LC_PAPER=en_US LANG=en_US", "x " + ppd, 0, a4},
      {"", "x " + ppd, 0, a4},
      {"LC_ALL=en_GB.UTF-8", "x " + ppd, 0, a4},
      {"LC_ALL=fr_CA", "x " + ppd, 0, a4},
      {"LC_ALL=en_US_POSIX", "x " + ppd, 0, a4},
#ifndef PPD_PAPER_DEFAULTS_GNUSTEP // GNUstep ignores LC_PAPER and an empty LC_ALL, and knows en_us
      {"LC_PAPER=en_US@euro LANG=de_DE", "x " + ppd, 0, letter},
      {"LC_ALL= LC_PAPER= LANG=en_US.ISO-8859-1@euro", "x " + ppd, 0, letter},
      {"LC_ALL=en_us", "x " + ppd, 0, a4},
#endif
      {"LC_ALL=en_US", "x " + dir.write("j.ppd", makePPD("J")), 0, makePPD("J")},
      {"LC_ALL=en_US", "x " + dir.write("jp.ppd", makePPD("JP")), 0, makePPD("JP", "Letter", true)},
      {"LC_ALL=en_US", "x " + dir.write("lower-j.ppd", makePPD("j")), 0,
       makePPD("j", "Letter", true)},
      {"LC_ALL=en_US", "x " + dir.write("jjj.ppd", makePPD(jjj, "letter")), 0,
       makePPD(jjj, "letter")},
      {"LC_ALL=en_US", "x " + dir.write("lower.ppd", makePPD("W", "letter")), 0,
       makePPD("W", "letter")},
      {"LC_ALL=en_US", "x " + dir.write("fullbleed.ppd", makePPD("W", "Letter.Fullbleed")), 0,
       makePPD("W", "Letter.Fullbleed")},
      {"LC_ALL=en_US", "x " + dir.write("no-pagesize.ppd", noPageSize), 0, noPageSize},
      {"LC_ALL=en_CA", "x " + dir.write("text", "*DefaultPageSize:A4"), 0,
       "*DefaultPageSize: Letter\n"},
      {"LC_ALL=en_CA", "x " + long_, 0, manyLines + "*DefaultPageSize: Letter\n"},
      {"LC_ALL=en_US", "x " + dir.write("nuls", nuls), 0, nuls},
      {"LC_ALL=en_US", "x " + dir.write("empty.ppd", ""), 0, ""},
      {"LC_ALL=en_US", "x /dev/stdin <" + ppd, 0, letter},
      // Command lines, and input or output that fails.
      {"", "--help", 0, "Usage: ppd-paper-defaults IGNORED FILE.ppd\n", "", true},
      {"", "-h", 0, "Usage: ", "", true},
      {"", "--version", 0, "ppd-paper-defaults 0.", "", true},
      {"", "", 2, "", usage},
      {"", ppd, 2, "", usage},
      {"", "x " + d + "/missing.ppd", 1, "", d + "/missing.ppd: No such file or directory"},
      {"", "x " + d, 1, "", d + ": Is a directory"},
      {"", "x /dev/null", 1, "", "/dev/null" + twice},
      {"", "x " + fifo, 1, "", fifo + twice},
      {"", "x " + cut, 1, "*PPD-Adobe", cut + ": damaged or truncated gzip data", true},
      {"", "x " + crc, 1, "", crc + ": damaged or truncated gzip data"},
      {"", "x " + twoMembers, 1, "", twoMembers + goesOn},
      {"", "x " + gzipAndLF, 1, "", gzipAndLF + goesOn},
      {"", "x /proc/self/mem", 1, "", "/proc/self/mem: Input/output error"},
      {"LD_PRELOAD=" READ_FAILS_AT_4K " ASAN_OPTIONS=verify_asan_link_order=0", "x " + long_, 1,
       manyLines.substr(0, 4096), long_ + ": Input/output error"},
      {"", "x " + ppd + " >/dev/full", 1, "", ppd + full},
      {"", "x " + block + " >/dev/full", 1, "", block + full},
  // A reader that goes away early: the tool dies of SIGPIPE as cat does (status 141 in the
  // shell), or, when SIGPIPE is ignored, reports the write error; never a success.
#ifndef PPD_PAPER_DEFAULTS_GNUSTEP // GNUstep ignores SIGPIPE as it starts
      {"", "x " + long_ + " >" + pipe, 141, "", "", false, head},
#endif
      {"", "x " + long_ + " >" + pipe, 1, "", long_ + ": cannot write standard output: Broken pipe",
       false, "trap '' PIPE; " + head},
  };
  for (const auto &c : cases) {
    // A redirection in `args` replaces the capture of stdout.
    const int status = std::system((c.shell + "env -i " + c.env + " " PPD_PAPER_DEFAULTS_TOOL " >" +
                                    d + "/out 2>" + d + "/err " + c.args)
                                       .c_str());
    const std::string out = readFile(d + "/out"), err = readFile(d + "/err");
    EXPECT_EQ(WEXITSTATUS(status), c.status) << c.env << " " << c.args;
    EXPECT_EQ(c.outIsPrefix ? out.substr(0, c.out.size()) : out, c.out) << c.env << " " << c.args;
    EXPECT_EQ(err, c.err.empty() ? "" : "ppd-paper-defaults: " + c.err + "\n") << c.args;
  }
}
