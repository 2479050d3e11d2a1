// The built tool, run as its users run it, with nothing in its environment but what a case sets
// and the simulation it is run under.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <regex>
#include <string>

namespace {

std::string readFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A private folder for the test's files. Its name holds a letter that messages show as it is.
struct TempDir {
  std::string path =
      mkdtemp((std::filesystem::temp_directory_path() / "ppd-\u00fc.XXXXXX").string().data());
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string write(const std::string &name, const std::string &bytes) const {
    std::ofstream(path + "/" + name, std::ios::binary) << bytes;
    return path + "/" + name;
  }
};

// A PPD, A4 by default, ending with a CR LF line and a line without an ending; or what the tool
// makes of it when it sets Letter. `letter` names its second PageSize choice.
std::string makePPD(const std::string &market, const std::string &letter = "Letter",
                    bool asLetter = false) {
  const std::string value = asLetter ? ": Letter" : ": A4";
  return "*PPD-Adobe: \"4.3\"\n*TOLVMarket: " + market +
         "\n*OpenUI *PageSize: PickOne\n*DefaultPageSize" + value + "\n*PageSize A4: \"a\"\n" +
         "*PageSize " + letter + ": \"l\"\n*CloseUI: *PageSize\n" + "*DefaultPageRegion" + value +
         "\n*DefaultImageableArea" + value + "\r\n*DefaultPaperDimension" + value +
         (asLetter ? "\r\n" : "");
}

// A gzip member with the header flag `flag` set and `field` where the optional header fields go.
std::string withHeaderField(std::string member, char flag, const std::string &field) {
  member[3] |= flag;
  return member.insert(10, field);
}

} // namespace

TEST(Cli, AnswersEachInputWithItsOutputAndStatus) {
  TempDir dir;
  const std::string d = dir.path, a4 = makePPD("W"), letter = makePPD("W", "Letter", true);
  const std::string ppd = dir.write("a4.ppd", a4), gz = ppd + ".gz";
  ASSERT_EQ(std::system(("gzip -kn " + ppd).c_str()), 0);
  const std::string gzip = readFile(gz), badLength = gzip.substr(0, gzip.size() - 1) + '\1';
  std::string badCRC = gzip;
  badCRC[badCRC.size() - 8] ^= 1;
  // gzip data of about 14 KB, from bytes that do not compress.
  ASSERT_EQ(std::system(("head -c 14000 /dev/urandom | gzip -n >" + d + "/noise.gz").c_str()), 0);
  const std::string noiseGzip = readFile(d + "/noise.gz");
  // Several 64 KiB blocks of output, more than a pipe holds; and 64 KiB, one block.
  std::string manyLines;
  for (int i = 0; i < 100000; ++i)
    manyLines += "a\n";
  const std::string long_ = dir.write("long", manyLines + "*DefaultPageSize:A4");
  const std::string block = dir.write("block", manyLines.substr(0, 65536));
  // FIFOs: one that no one writes to, whose open must not block, and one that `head` reads.
  const std::string nuls(5000, '\0'), fifo = d + "/fifo", pipe = d + "/pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600) | mkfifo(pipe.c_str(), 0600), 0);
  const std::string head = "timeout 10 head -n 1 " + pipe + " >/dev/null 2>&1 & ";
  // A writer waiting on the FIFO, whose data a reader after the tool must still find.
  const std::string fifoWriter = "printf kept >" + fifo + " & ";
  const std::string afterFifo = "; s=$?; timeout 1 cat " + fifo + " >" + d + "/out; exit $s";
  // A name with controls (C0, C1, separators and bidirectional ones), letters that are not ASCII,
  // and what is not UTF-8 (long U+00A0 and U+FFFF, a surrogate, beyond U+10FFFF), in octal.
  const std::string octal =
      "\\302\\233\\340\\202\\240\\360\\217\\277\\277\\355\\240\\200\\364\\220\\200\\200"
      "\\330\\234\\342\\200\\216\\342\\200\\217\\342\\200\\250\\342\\200\\256\\342\\201\\246"
      "\\342\\201\\251";
  const std::string self = dir.write("self.ppd", a4),
                    escaped = "$'a\\\\b\\'c\\177\\nd\\033[0m\u00fc\u2027\u202f\u206a" + octal + "'";
  std::string upperKey = makePPD("J");
  upperKey.replace(upperKey.find("TOLVMarket"), 10, "TOLVMARKET"); // the parser ignores case
  const std::string usage = " (usage: ppd-paper-defaults IGNORED FILE.ppd)";
  const std::string twice = ": not a regular file (the PPD is read twice; save it to a file first)";
  const std::string damaged = ": damaged or truncated gzip data";
  const std::string goesOn = ": gzip data goes on after its first member, and the CUPS file "
                             "layer would not copy the rest as it is; decompress it first";
  const std::string cannotWrite = ": cannot write standard output: ";
  const std::string noPageSize = "*PPD-Adobe: \"4.3\"\n*DefaultPageSize: A4\n";
  // PPDs that outgrow the heap of 1 MiB that no-brk leaves, with the market keyword and the Letter
  // page size written otherwise than usual, as the parser still reads them: one with line feeds,
  // one with carriage returns alone and no market keyword.
  std::string attributes;
  for (int i = 0; i < 8000; ++i)
    attributes += "*A" + std::to_string(i) + ": \"v\"\n";
  std::string many = makePPD("W\n" + attributes, "\tLetter/US"),
              manyLetter = makePPD("W\n" + attributes, "\tLetter/US", true), crOnly = many;
  for (std::string *s : {&many, &manyLetter})
    s->replace(s->find("TOLVMarket"), 10, "TOLV\x1aMARKET");
  crOnly.erase(crOnly.find("*TOLV"), 15);
  std::replace(crOnly.begin(), crOnly.end(), '\n', '\r');
#ifndef SIMULATE // the simulation replaces glibc's functions, and is built only there
  const std::string preload;
#elif defined(PPD_PAPER_DEFAULTS_EMULATED) // qemu-user hands this on; LD_PRELOAD would be its own
  const std::string preload = "QEMU_SET_ENV=LD_PRELOAD=" SIMULATE " ";
#else
  const std::string preload = "LD_PRELOAD=" SIMULATE " ASAN_OPTIONS=verify_asan_link_order=0 ";
#endif
  // A write lease on the PPD (F_SETLEASE is 1024), taken by a process that stays behind once it is
  // in place and gives it up 0.2 s after another process asks for the file.
  const std::string leased = dir.write("leased.ppd", a4);
  const std::string lease =
      "perl -e 'open F, \"<\", shift or die; pipe R, W; if (fork) { close W; <R>; exit } close R; "
      "fcntl(F, 1024, 1) or die \"lease: $!\"; $SIG{IO} = sub { select undef, undef, undef, 0.2; "
      "fcntl(F, 1024, 2); exit }; close W; sleep 5' " +
      leased + "; ";
  // 2.5 GiB, but sparse: 32-bit builds need 64-bit file offsets to open it.
  const std::string big = dir.write("big.ppd", a4);
  std::filesystem::resize_file(big, 2560ull << 20);
  struct Row {
    std::string env, args;
    int status;
    std::string out, err = "";
    bool outIsPrefix = false;  // output cut off, or too long to spell out
    std::string shell = "";    // run first, in the shell that starts the tool
    std::string simulate = ""; // what tests/simulate.cpp makes of the platform
  };
  const auto inUS = [&dir](const std::string &name, const std::string &in, const std::string &out) {
    return Row{"LC_ALL=en_US", "x " + dir.write(name, in), 0, out};
  };
  const auto refused = [&dir](const std::string &name, const std::string &in,
                              const std::string &why) {
    const std::string path = dir.write(name, in);
    return Row{"", "x " + path, 1, "", path + why};
  };
  // The A4 PPD at `changing`, last modified long ago, with a "J" PPD of its size beside it (.new),
  // and the shell command that changes it while the tool reads it, at `moment`.
  const std::string changing = d + "/changing.ppd", next = dir.write("next", makePPD("J"));
  const auto whileRead = [&](const std::string &moment, const std::string &command, int status) {
    const std::string setUp = "cp " + ppd + " " + changing + " && cp " + next + " " + changing +
                              ".new && touch -m -d @0 " + changing + "; ";
    const std::string env = "LC_ALL=en_US P=" + changing + " 'PPD_TEST_CHANGE=" + command + "'";
    const std::string changed = changing + ": file changed while it was read";
    return status == 0 ? Row{env, "x " + changing, 0, letter, "", false, setUp, moment}
                       : Row{env, "x " + changing, 1, "", changed, true, setUp, moment};
  };
  const Row cases[] = {
      // The locale, the market and the PageSize choices decide; the first argument is not read.
      {"LC_ALL=en_US.UTF-8", "--help " + ppd + " ignored", 0, letter},
      {"LANG=en_CA.UTF-8", "x " + gz, 0, letter},
      {"LC_ALL=C LC_PAPER=en_US LANG=en_US", "x " + ppd, 0, a4},
      {"", "x " + ppd, 0, a4},
      // Where the locale rules Letter out, the PPD is read once, by the copy.
      {"LC_ALL=en_GB.UTF-8", "x " + ppd, 0, a4, "", false, "", "read-once"},
      {"LC_ALL=en_US", "x " + ppd, 1, "", ppd + ": Input/output error", false, "", "read-once"},
      {"LC_ALL=fr_CA", "x " + ppd, 0, a4},
      {"LC_ALL=en_US_POSIX", "x " + ppd, 0, a4},
      {"LC_ALL=en", "x " + ppd, 0, a4},
      {"LC_PAPER=en_US@euro LANG=de_DE", "x " + ppd, 0, letter},
      {"LC_ALL= LC_PAPER= LANG=en_US.ISO-8859-1@euro", "x " + ppd, 0, letter},
#ifndef PPD_PAPER_DEFAULTS_GNUSTEP // GNUstep knows en_us
      {"LC_ALL=en_us", "x " + ppd, 0, a4},
#endif
      inUS("j.ppd", makePPD("J"), makePPD("J")),
      inUS("upper-key.ppd", upperKey, upperKey),
      inUS("jp.ppd", makePPD("JP"), makePPD("JP", "Letter", true)),
      inUS("lower-j.ppd", makePPD("j"), makePPD("j", "Letter", true)),
      inUS("lower.ppd", makePPD("W", "letter"), makePPD("W", "letter")),
      inUS("fullbleed.ppd", makePPD("W", "Letter.Fullbleed"), makePPD("W", "Letter.Fullbleed")),
      inUS("no-pagesize.ppd", noPageSize, noPageSize),
      // Allocations that succeed but leave errno at ENOMEM, as under valgrind, fail nothing.
      {"LC_ALL=en_US", "x " + dir.write("many.ppd", many), 0, manyLetter, "", false, "", "no-brk"},
      {"LC_ALL=en_US", "x " + dir.write("cr.ppd", crOnly), 0, crOnly, "", false, "", "no-brk"},
      // Text that the parser rejects, so that its market does not count.
      inUS("text", "*TOLVMarket: J\n*DefaultPageSize:A4",
           "*TOLVMarket: J\n*DefaultPageSize: Letter\n"),
      {"LC_ALL=en_CA", "x " + long_, 0, manyLines + "*DefaultPageSize: Letter\n"},
      inUS("nuls", nuls, nuls),
      inUS("empty.ppd", "", ""),
      inUS("1f", "\x1f\n", "\x1f\n"), // begins like gzip, but is not
      // /dev/stdin from a file that was read from already: the file from its start.
      {"LC_ALL=en_US", "x /dev/stdin", 0, letter, "", false, "exec <" + ppd + "; read -r line; "},
      // Command lines, and input that is refused.
      {"", "--help", 0, "Usage: ppd-paper-defaults IGNORED FILE.ppd\n", "", true},
      {"", "-h", 0, "Usage: ", "", true},
      {"", "--version", 0,
       "ppd-paper-defaults " PPD_PAPER_DEFAULTS_VERSION
       "\nLicensed under the Apache License, Version 2.0.\n"},
      {"", "", 2, "", "missing PPD file" + usage},
      {"", ppd, 2, "", "the PPD file is the second argument; the first is not read" + usage},
      {"", "x ''", 1, "", "'': No such file or directory"},
      {"", "x -", 1, "", "-: No such file or directory"},
#ifndef PPD_PAPER_DEFAULTS_GNUSTEP // whose release scope takes the first allocation
      // The message allocates nothing: where it could not, it would show the name raw.
      {"", "x \"$(printf 'a\\\\b\\047c\\177\\nd\\033[0m\u00fc\u2027\u202f\u206a" + octal + "')\"",
       1, "", escaped + ": No such file or directory", false, "", "fail-alloc=1"},
#endif
      {"", "x " + d, 1, "", d + ": Is a directory"},
      {"", "x /dev/null", 1, "", "/dev/null" + twice},
      {"", "x /dev/stdin", 1, "", "/dev/stdin" + twice, false, "echo | "},
      {"", "x " + fifo + afterFifo, 1, "kept", fifo + twice, false, fifoWriter},
      {"", "x " + fifo, 1, "", fifo + twice, false, "", "stat-says-regular"},
      {"", "x " + self + " >>" + self, 1, "", self + ": input file is output file"},
      // The PPD takes no standard descriptor that is closed; a leased one is read once it is free.
      {"", "x " + ppd + " >&-", 1, "", ppd + cannotWrite + "Bad file descriptor"},
      {"LC_ALL=en_US", "x " + ppd + " <&- 2>&-", 0, letter},
#ifdef __linux__ // leases, /dev/full and prlimit are Linux's
      {"LC_ALL=en_US", "x " + leased, 0, letter, "", false, lease},
      {"", "--help >/dev/full", 1, "", "standard output: No space left on device"},
      {"", "x " + ppd + " >/dev/full", 1, "", ppd + cannotWrite + "No space left on device"},
#ifndef __SANITIZE_ADDRESS__ // ASan's start-up loops where it cannot duplicate a descriptor
      {"", "x " + ppd + " <&-", 1, "", ppd + ": Too many open files", false, "prlimit -n3 -- "},
#endif
#endif
      // gzip data is written only when it decodes whole, and nothing follows it.
      refused("cut.gz", gzip.substr(0, gzip.size() - 30), damaged),
      refused("length.gz", badLength + gzip, damaged),
      refused("crc.gz", badCRC, damaged),
      refused("hcrc.gz", withHeaderField(gzip, 2, "??") + gzip, damaged),
      refused("two.gz", gzip + gzip, goesOn),
      // The check reads 16 KiB at a time: a member that ends exactly there, then one more byte.
      refused("edge.gz",
              withHeaderField(noiseGzip, 8, std::string(16383 - noiseGzip.size(), 'n') + '\0') +
                  "\n",
              goesOn),
      // A header of 4 KiB in all (10 bytes, a file name and its NUL) is read; one byte more is not.
      inUS("name-4k.gz", withHeaderField(gzip, 8, std::string(4085, 'n') + '\0'), letter),
      refused("name.gz", withHeaderField(gzip, 8, std::string(4086, 'n') + '\0'),
              ": gzip header longer than the 4 KiB that the CUPS file layer reads; decompress it "
              "first"),
      // Reads block, where a non-blocking one would spin; the end of the file is where a read finds
      // it, not what its size says. The gzip check needs little stack.
      {"LC_ALL=en_US", "x " + ppd, 0, letter, "", false, "", "eagain-if-nonblocking,size-lies"},
#ifndef PPD_PAPER_DEFAULTS_GNUSTEP // GNUstep's locale query needs more than 64 KiB of stack
      {"LC_ALL=en_US", "x " + gz, 0, letter, "", false, "ulimit -s 64; "},
#endif
      // Renamed or linked while it is read, the PPD is copied whole as it was; an edit,
      // an append or a truncation fails the run, also where only nanoseconds or only the size tell.
      whileRead("change-at-end", "ln -f $P $P.tmp && mv $P.new $P", 0), // dpkg unlinks .tmp later
      whileRead("change-at-end", "ln -f $P $P.link", 0),
      whileRead("change-at-end", "cat $P.new >$P && touch -m -d @0.5 $P", 1),   // only nanoseconds
      whileRead("change-at-end", "truncate -s 100 $P && touch -m -d @0 $P", 1), // only the size
      whileRead("change-in-copy", "cat $P.new >$P", 1),
  // A reader that goes away after a line: an output up to 64 KiB leaves in one write, even when
  // the tool is slow to flush it, and the run succeeds. A larger one ends the tool by SIGPIPE as
  // it does cat (141 in the shell), or with SIGPIPE ignored gives the write error.
#ifndef PPD_PAPER_DEFAULTS_GNUSTEP // GNUstep ignores SIGPIPE as it starts
      {"", "x " + long_ + " >" + pipe, 141, "", "", false, head},
#endif
      {"", "x " + block + " >" + pipe, 0, "", "", false, head, "slow-flush"},
      {"", "x " + big + " >" + pipe, 1, "", big + cannotWrite + "Broken pipe", false,
       "trap '' PIPE; " + head},
  };
  // Each case as on Linux, then as on macOS and the BSDs, with what the row simulates besides.
  std::map<std::string, int> skipped; // rows by the reason they cannot run in this build
  for (const std::string platform : {"", "bsd"}) {
    for (auto c : cases) {
      const std::string behaviours =
          platform + (platform.empty() || c.simulate.empty() ? "" : ",") + c.simulate;
      if (!behaviours.empty() && preload.empty()) {
        ++skipped["they need the simulation, which is preloaded only with glibc"];
        continue;
      }
#ifdef LOCALE_KEY    // Foundation reads no locale variable: the row's, or C, is an argument
      std::smatch m; // the locale that LC_ALL or LANG names, and the rest of the environment
      std::regex_match(c.env, m, std::regex("(?:(?:LC_ALL|LANG)=([A-Za-z_]*)\\S*)?(.*)"));
      if (std::regex_search(m[2].str(), std::regex("LC_|LANG"))) {
        ++skipped["they set the locale through several variables, which Foundation does not read"];
        continue;
      }
      if (m[1].matched || c.args.rfind("x ", 0) == 0) // after the PPD, where the tool reads nothing
        c.args = std::regex_replace(c.args, std::regex("^\\S+ [^ ;]+"),
                                    "$& " LOCALE_KEY " " + (m[1].matched ? m[1].str() : "C"));
      c.env = m[2];
#endif
      const std::string env =
          (behaviours.empty() ? "" : preload + "PPD_TEST_SIMULATE=" + behaviours + " ") + c.env;
      // A redirection in `args` replaces the capture of stdout. The output may not grow past
      // 1 MiB (ulimit counts 512-byte blocks), and a tool that hangs is stopped.
      const std::string row = c.shell + "env -i " + env + " TOOL " + c.args;
      const int status = WEXITSTATUS(
          std::system(("ulimit -f 2048; " + c.shell + "timeout -k 1 5 env -i " + env +
                       " " PPD_PAPER_DEFAULTS_TOOL " >" + d + "/out 2>" + d + "/err " + c.args)
                          .c_str()));
      ASSERT_NE(status, 124) << row << "\n  stopped after 5 s";
      const std::string out = readFile(d + "/out"), err = readFile(d + "/err");
      EXPECT_EQ(status, c.status) << row;
      EXPECT_EQ(err, c.err.empty() ? "" : "ppd-paper-defaults: " + c.err + "\n") << row;
      // 60 bytes from just before the first difference; a diff of whole outputs costs gigabytes.
      const std::string got = c.outIsPrefix ? out.substr(0, c.out.size()) : out;
      const std::size_t at =
          std::mismatch(c.out.begin(), c.out.end(), got.begin(), got.end()).first - c.out.begin();
      const std::size_t from = at < 20 ? 0 : at - 20;
      EXPECT_EQ(c.out.substr(from, 60), got.substr(from, 60)) // `at` is within both
          << row << "\n  stdout: " << got.size() << " bytes (" << c.out.size()
          << " expected), shown from byte " << from;
    }
  }
  for (const auto &[why, rows] : skipped)
    std::cout << "Skipped " << rows << " rows: " << why << ".\n";
}
