// propsmooth-report: an HTML page of the empirical Bayes estimates.
#include "app/entry.h"
#include "report_tool/report_command.h"

int main(int argc, char** argv) {
  return propsmooth::RunCommand("propsmooth-report", argc, argv, propsmooth::RunReport);
}
