// The built tool, run as its users run it, with nothing in its environment but what a case sets.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

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

std::string littleEndian(std::uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) {
    out += static_cast<char>(value >> (8 * i));
  }
  return out;
}

// A gzip member that holds `text` (at most 64 KiB) uncompressed, so that its size is known to the
// byte; `flags` and `fields` are the header's optional parts (a name, a header CRC).
std::string gzipMember(const std::string &text, char flags = 0, const std::string &fields = "") {
  const auto size = static_cast<std::uint32_t>(text.size());
  const auto crc = crc32(0, reinterpret_cast<const Bytef *>(text.data()), size);
  return std::string("\x1f\x8b\x08", 3) + flags + std::string(5, '\0') + "\x03" + fields + '\x01' +
         littleEndian(size, 2) + littleEndian(~size, 2) + text + littleEndian(crc, 4) +
         littleEndian(size, 4);
}

// Bytes as a C string literal would show them.
std::string escape(std::string_view bytes) {
  std::string out;
  for (const unsigned char c : bytes) {
    if (c == '\n' || c == '\r' || c == '\\' || c == '"' || c < 0x20 || c > 0x7e) {
      const char *named = c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\\' ? "\\\\" : "\\\"";
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += c == '\n' || c == '\r' || c == '\\' || c == '"' ? named : hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Where `actual` first differs from `expected`, with some bytes of each from there; empty when
// they are equal. Cheap for outputs of any size, unlike a line-by-line diff.
std::string difference(std::string_view expected, std::string_view actual) {
  const std::size_t at =
      std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first -
      expected.begin();
  if (at == expected.size() && at == actual.size()) {
    return "";
  }
  const std::size_t from = at < 20 ? 0 : at - 20;
  return "first difference at byte " + std::to_string(at) + " (" + std::to_string(actual.size()) +
         " bytes, " + std::to_string(expected.size()) + " expected); from byte " +
         std::to_string(from) + ", expected \"" + escape(expected.substr(from, 60)) + "\", got \"" +
         escape(actual.substr(from, 60)) + "\"";
}

} // namespace

TEST(Cli, AnswersEachInputWithItsOutputAndStatus) {
  TempDir dir;
  const std::string d = dir.path.string(), a4 = makePPD("W"), letter = makePPD("W", "Letter", true);
  const std::string ppd = dir.write("a4.ppd", a4), jjj(40, 'J');
  const std::string gzip = gzipMember(a4), gz = dir.write("a4.ppd.gz", gzip);
  std::string badCRC = gzip, badLength = gzip;
  badCRC[gzip.size() - 8] ^= 1;
  badLength.back() ^= 1;
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
  const std::string head = "timeout 10 head -c 1 " + pipe + " >/dev/null 2>&1 & ";
  const std::string usage = " (usage: ppd-paper-defaults IGNORED FILE.ppd)";
  const std::string twice = ": not a regular file (the PPD is read twice; save it to a file first)";
  const std::string damaged = ": damaged or truncated gzip data";
  const std::string goesOn =
      ": gzip data goes on after its first member and would be cut short; decompress it first";
  const std::string full = ": cannot write standard output: No space left on device";
  const std::string noPageSize = "*PPD-Adobe: \"4.3\"\n*DefaultPageSize: A4\n";
  const std::string simulate = "LD_PRELOAD=" SIMULATE " ASAN_OPTIONS=verify_asan_link_order=0 ";
  dir.write("replaced.ppd", noPageSize);
  dir.write("replaced.ppd.new", a4);
  const struct {
    std::string env, args;
    int status;
    std::string out, err = "";
    bool outIsPrefix = false; // output cut off, or too long to spell out
    std::string shell = "";   // run first, in the shell that starts the tool
  } cases[] = {
      // The locale, the market and the PageSize choices decide; the first argument is not read.
      {"LC_ALL=en_US.UTF-8", "--help " + ppd + " ignored", 0, letter},
      {"LANG=en_CA.UTF-8", "x " + gz, 0, letter},
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
      // Text that the parser rejects, so that its market does not count.
      {"LC_ALL=en_CA", "x " + dir.write("text", "*TOLVMarket: J\n*DefaultPageSize:A4"), 0,
       "*TOLVMarket: J\n*DefaultPageSize: Letter\n"},
      {"LC_ALL=en_CA", "x " + long_, 0, manyLines + "*DefaultPageSize: Letter\n"},
      {"LC_ALL=en_US", "x " + dir.write("nuls", nuls), 0, nuls},
      {"LC_ALL=en_US", "x " + dir.write("empty.ppd", ""), 0, ""},
      // /dev/stdin from a file, plain or gzip, and read from already: the file from its start.
      {"LC_ALL=en_US", "x /dev/stdin <" + ppd, 0, letter},
      {"LC_ALL=en_US", "x /dev/stdin <" + gz, 0, letter},
      {"LC_ALL=en_US", "x /dev/stdin", 0, letter, "", false, "exec <" + ppd + "; read -r line; "},
      // Command lines, and input or output that fails.
      {"", "--help", 0, "Usage: ppd-paper-defaults IGNORED FILE.ppd\n", "", true},
      {"", "-h", 0, "Usage: ", "", true},
      {"", "--version", 0, "ppd-paper-defaults 0.", "", true},
      {"", "", 2, "", "missing PPD file" + usage},
      {"", ppd, 2, "", "the PPD file is the second argument; the first is not read" + usage},
      {"", "x ''", 1, "", "'': No such file or directory"},
      {"", "x " + d + "/missing.ppd", 1, "", d + "/missing.ppd: No such file or directory"},
      {"", "x " + d, 1, "", d + ": Is a directory"},
      {"", "x /dev/null", 1, "", "/dev/null" + twice},
      {"", "x " + fifo, 1, "", fifo + twice},
      {simulate + "PPD_TEST_SIMULATE=replaced", "x " + d + "/replaced.ppd", 1, "",
       d + "/replaced.ppd: replaced while it was being opened; try again"},
      // gzip data is written only when it decodes whole, and nothing follows it.
      {"", "x " + dir.write("cut.gz", gzip.substr(0, gzip.size() - 30)), 1, "",
       d + "/cut.gz" + damaged},
      {"", "x " + dir.write("magic.gz", "\x1f\x8b"), 1, "", d + "/magic.gz" + damaged},
      {"", "x " + dir.write("crc.gz", badCRC), 1, "", d + "/crc.gz" + damaged},
      {"", "x " + dir.write("length.gz", badLength + gzip), 1, "", d + "/length.gz" + damaged},
      {"", "x " + dir.write("hcrc.gz", gzipMember(a4, 2, "??") + gzip), 1, "",
       d + "/hcrc.gz" + damaged},
      {"", "x " + dir.write("two.gz", gzip + gzip), 1, "", d + "/two.gz" + goesOn},
      {"", "x " + dir.write("lf.gz", gzip + "\n"), 1, "", d + "/lf.gz" + goesOn},
      // The check reads 16 KiB at a time: a member that ends exactly there, and then more.
      {"", "x " + dir.write("edge.gz", gzipMember(std::string(16384 - 23, 'x')) + "\n"), 1, "",
       d + "/edge.gz" + goesOn},
      {"", "x " + dir.write("name.gz", gzipMember(a4, 8, std::string(5000, 'n') + '\0')), 1, "",
       d + "/name.gz: gzip header longer than the 4 KiB that the CUPS file layer reads; "
           "decompress it first"},
      {"", "x /proc/self/mem", 1, "", "/proc/self/mem: Input/output error"},
      {simulate + "PPD_TEST_SIMULATE=read-fails-at-4k", "x " + long_, 1, manyLines.substr(0, 4096),
       long_ + ": Input/output error"},
      {"", "x " + ppd + " >/dev/full", 1, "", ppd + full},
      {"", "x " + block + " >/dev/full", 1, "", block + full},
  // A reader that goes away early: the tool dies of SIGPIPE as cat does (status 141 in the
  // shell), or, when SIGPIPE is ignored, reports the write error; never a success, unless the
  // output fitted into the pipe.
#ifndef PPD_PAPER_DEFAULTS_GNUSTEP // GNUstep ignores SIGPIPE as it starts
      {"", "x " + long_ + " >" + pipe, 141, "", "", false, head},
#endif
      {"", "x " + ppd + " >" + pipe, 0, "", "", false, head}, // all of it fits into the pipe
      {"", "x " + long_ + " >" + pipe, 1, "", long_ + ": cannot write standard output: Broken pipe",
       false, "trap '' PIPE; " + head},
  };
  // Each case as on Linux, then as on macOS and the BSDs.
  for (const std::string &platform : {std::string(), simulate + "PPD_TEST_SIMULATE=bsd "}) {
    for (const auto &c : cases) {
      // A redirection in `args` replaces the capture of stdout. The output may not grow past
      // 1 MiB (ulimit counts 512-byte blocks), and a tool that hangs is stopped.
      const std::string row =
          c.shell + "env -i " + platform + c.env + " ppd-paper-defaults " + c.args;
      const int status = WEXITSTATUS(
          std::system(("ulimit -f 2048; " + c.shell + "timeout -k 5 10 env -i " + platform + c.env +
                       " " PPD_PAPER_DEFAULTS_TOOL " >" + d + "/out 2>" + d + "/err " + c.args)
                          .c_str()));
      if (status == 124) {
        FAIL() << row << "\n  stopped after 10 s";
      }
      const std::string out = readFile(d + "/out"), err = readFile(d + "/err");
      const std::string outDifference =
          difference(c.out, c.outIsPrefix ? out.substr(0, c.out.size()) : out);
      const std::string errDifference =
          difference(c.err.empty() ? "" : "ppd-paper-defaults: " + c.err + "\n", err);
      if (status != c.status || !outDifference.empty() || !errDifference.empty()) {
        ADD_FAILURE() << row << "\n  exit status " << status << ", expected " << c.status
                      << "\n  stdout: " << (outDifference.empty() ? "as expected" : outDifference)
                      << "\n  stderr: " << (errDifference.empty() ? "as expected" : errDifference);
      }
    }
  }
}
