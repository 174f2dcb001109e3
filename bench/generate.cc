// Writes one of the benchmark data sets: propsmooth_generate NAME FILE.
#include <cstdio>
#include <string>
#include <string_view>

#include "datasets.h"

int main(int argc, char** argv) {
  propsmooth::Dataset dataset;
  const bool rates = argc == 3 && argv[1] == propsmooth::kNationalRatesName;
  if (argc != 3 || (!rates && !propsmooth::ParseDataset(argv[1], &dataset))) {
    std::fputs(
        "usage: propsmooth_generate national|units|wide|huge|large|giant|giant10|rare|rates "
        "FILE\n",
        stderr);
    return 2;
  }
  const std::string text = rates ? propsmooth::NationalRatesCsv()
                                 : propsmooth::FormatDataFile(propsmooth::MakeDataset(dataset));
  std::FILE* file = std::fopen(argv[2], "wb");
  if (file == nullptr) {
    std::perror(argv[2]);
    return 1;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
