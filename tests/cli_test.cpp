// The built tool, run as a separate process under chosen locale variables.
#include "test_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

struct ToolRun {
  int status;
  std::string out, err;
};

std::string readFile(const std::string &path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

// Runs the tool with `args` and nothing in its environment but `env`.
ToolRun runTool(const TempDir &dir, std::vector<std::string> args, std::vector<std::string> env,
                std::string outPath = "") {
  const std::string errPath = (dir.path / "stderr").string();
  if (outPath.empty()) {
    outPath = (dir.path / "stdout").string();
  }
  args.insert(args.begin(), PPD_PAPER_DEFAULTS_TOOL);
  std::vector<char *> argv, envp;
  for (auto &a : args)
    argv.push_back(a.data());
  for (auto &e : env)
    envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    dup2(open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
          outPath == "/dev/full" ? "" : readFile(outPath), readFile(errPath)};
}

// makePPD with its four defaults set to Letter, and the final line ended.
std::string letterPPD(std::string text) {
  for (std::string key : {"PageSize", "PageRegion", "ImageableArea", "PaperDimension"}) {
    key = "*Default" + key + ": ";
    const std::size_t at = text.find(key + "A4") + key.size();
    text.replace(at, text.find('\n', at) - at, "Letter"); // CR LF becomes LF
  }
  return text + "\n";
}

} // namespace

TEST(Cli, CopiesOrRewritesThePPD) {
  TempDir dir;
  const std::string a4 = makePPD("W");
  const std::string plain = dir.write("a4.ppd", a4);
  dir.write("gz.ppd", a4);
  ASSERT_EQ(std::system(("gzip -n " + (dir.path / "gz.ppd").string()).c_str()), 0);
  const std::string gzip = (dir.path / "gz.ppd.gz").string();
  const std::string text = "*%\n*DefaultPageSize: A4\n";
  const struct {
    std::string path, env, output;
  } cases[] = {
      {plain, "LC_ALL=en_US.UTF-8", letterPPD(a4)},
      {plain, "LC_PAPER=en_CA.UTF-8", letterPPD(a4)},
      {gzip, "LANG=en_US.UTF-8", letterPPD(a4)},
      {plain, "LC_ALL=de_DE.UTF-8", a4},
      {gzip, "LANG=C.UTF-8", a4},
      {dir.write("j.ppd", makePPD("J")), "LC_ALL=en_US", makePPD("J")},
      {dir.write("no-letter.ppd", makePPD("W", false)), "LC_ALL=en_US", makePPD("W", false)},
      {dir.write("text.txt", text), "LC_ALL=en_CA", "*%\n*DefaultPageSize: Letter\n"},
      {dir.write("empty.ppd", ""), "LC_ALL=en_US", ""},
  };
  for (const auto &c : cases) {
    const ToolRun run = runTool(dir, {"--help", c.path, "ignored"}, {c.env});
    EXPECT_EQ(run.status, 0) << c.path << " " << c.env;
    EXPECT_EQ(run.out, c.output) << c.path << " " << c.env;
    EXPECT_EQ(run.err, "") << c.path << " " << c.env;
  }
}

TEST(Cli, ReportsFailures) {
  TempDir dir;
  const std::string ppd = dir.write("a4.ppd", makePPD("W"));
  ASSERT_EQ(std::system(("gzip -kn " + ppd).c_str()), 0);
  const std::string gzip = readFile(ppd + ".gz");
  const std::string truncated = dir.write("cut.ppd.gz", gzip.substr(0, gzip.size() - 30));
  std::string badCrc = gzip;
  badCrc[badCrc.size() - 8] ^= 1;
  const std::string badCrcPath = dir.write("crc.ppd.gz", badCrc);
  const std::string d = dir.path.string();
  const std::string usage = "missing PPD file (usage: ppd-paper-defaults IGNORED FILE.ppd)\n";
  const struct {
    std::vector<std::string> args;
    std::string outPath;
    int status;
    std::string err;
  } cases[] = {
      {{}, "", 2, usage},
      {{ppd}, "", 2, usage},
      {{"x", d + "/missing.ppd"}, "", 1, d + "/missing.ppd: No such file or directory\n"},
      {{"x", d}, "", 1, d + ": Is a directory\n"},
      {{"x", truncated}, "", 1, truncated + ": damaged or truncated gzip data\n"},
      {{"x", badCrcPath}, "", 1, badCrcPath + ": damaged or truncated gzip data\n"},
      {{"x", ppd},
       "/dev/full",
       1,
       ppd + ": cannot write standard output: No space left on device\n"},
  };
  for (const auto &c : cases) {
    const ToolRun run = runTool(dir, c.args, {"LC_ALL=en_US"}, c.outPath);
    EXPECT_EQ(run.status, c.status) << c.err;
    EXPECT_EQ(run.err, c.err.empty() ? "" : "ppd-paper-defaults: " + c.err);
    if (c.outPath.empty() && c.args.size() > 1 && c.args[1] != truncated) {
      EXPECT_EQ(run.out, "") << c.err;
    }
  }
}

TEST(Cli, AnswersHelpAndVersion) {
  TempDir dir;
  for (const char *option : {"--help", "-h", "--version"}) {
    const ToolRun run = runTool(dir, {option}, {});
    EXPECT_EQ(run.status, 0) << option;
    EXPECT_EQ(run.out.rfind(option[2] == 'v' ? "ppd-paper-defaults " : "Usage: ", 0), 0u) << option;
    EXPECT_EQ(run.err, "") << option;
  }
}
