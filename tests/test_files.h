// Files that the tests write for themselves.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// A private folder, removed with everything in it at the end of the test.
struct TempDir {
  std::filesystem::path path;
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ppd-test.XXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string write(const std::string &name, const std::string &bytes) const {
    std::ofstream(path / name, std::ios::binary) << bytes;
    return (path / name).string();
  }
};

// A PPD that the CUPS parser reads, A4 by default, with Letter among its sizes when asked.
inline std::string makePPD(const std::string &market, bool offersLetter = true) {
  return "*PPD-Adobe: \"4.3\"\n" + (market.empty() ? "" : "*TOLVMarket: " + market + "\n") +
         "*OpenUI *PageSize: PickOne\n*DefaultPageSize: A4\n*PageSize A4: \"a\"\n" +
         (offersLetter ? "*PageSize Letter: \"l\"\n" : "") +
         "*CloseUI: *PageSize\n*DefaultPageRegion: A4\n*DefaultImageableArea: A4\r\n"
         "*DefaultPaperDimension: A4";
}
