// The propsmooth command: empirical Bayes estimates of proportions.
#include <ctime>

#include "app/entry.h"
#include "common/platform.h"
#include "app/run.h"

int main(int argc, char** argv) {
  return propsmooth::RunCommand(
      "propsmooth", argc, argv, [](auto args, std::FILE* console) {
        return propsmooth::Run(
            args, [] { return propsmooth::LocalTime(std::time(nullptr)); }, console);
      });
}
