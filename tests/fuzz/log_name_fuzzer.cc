// MakeLogFileName on arbitrary names. Checks, besides the sanitizers:
// - the result ends in ".log";
// - it starts with the folder part of the name (everything up to and
//   including the last "/" or "\"), so the log lands beside the output;
// - nothing but an extension (a dot and what follows it in the last
//   element) is dropped, and a last element "." or ".." gets a backslash;
// - a log name is its own log name.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/log_name.h"
#include "fuzz_check.h"

namespace propsmooth {
namespace {

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() &&
         text.substr(text.size() - tail.size()) == tail;
}

}  // namespace
}  // namespace propsmooth

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace propsmooth;
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  const std::string log = MakeLogFileName(name);

  Check(EndsWith(log, ".log"), "ends in .log");
  const std::size_t last_separator = name.find_last_of("/\\");
  const std::size_t folder_size =
      last_separator == std::string_view::npos ? 0 : last_separator + 1;
  Check(log.compare(0, folder_size, name.substr(0, folder_size)) == 0 &&
            log.size() >= folder_size + 4,
        "keeps the folder part");

  const std::string_view element = name.substr(folder_size);
  const std::string_view kept = std::string_view(log).substr(0, log.size() - 4);
  // A drive ("C:", its letter possibly a multi-byte character, or even a
  // separator) may stand before the element.
  bool dot_after_drive = false;
  for (std::size_t colon = 1; colon <= 4 && colon < name.size(); ++colon) {
    const std::string_view tail = name.substr(std::max(colon + 1, folder_size));
    dot_after_drive |= name[colon] == ':' && (tail == "." || tail == "..");
  }
  if (element == "." || element == "..") {
    Check(kept == std::string(name) + "\\", "a dot folder gets a backslash");
  } else if (kept == std::string(name) + "\\") {
    Check(dot_after_drive, "only a dot folder gets a backslash");
  } else {
    // Only an extension is dropped: one dot and what follows it in the
    // last element.
    Check(name.substr(0, kept.size()) == kept, "the rest of the name is kept");
    const std::string_view dropped = name.substr(kept.size());
    Check(dropped.empty() ||
              (dropped.size() <= element.size() && dropped.rfind('.') == 0 &&
               dropped.find_first_of("/\\") == std::string_view::npos),
          "only the extension is dropped");
    if (element.find('.') == std::string_view::npos) {
      Check(dropped.empty(), "a name without extension is kept whole");
    }
  }
  Check(log.size() <= name.size() + 5, "grows by at most a backslash and .log");
  Check(MakeLogFileName(log) == log, "a log name is its own log name");
  return 0;
}
