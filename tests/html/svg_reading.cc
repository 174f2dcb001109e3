#include "svg_reading.h"

#include <algorithm>
#include <limits>

namespace propsmooth {

std::vector<std::string> Elements(const std::string& svg, const std::string& tag) {
  std::vector<std::string> elements;
  const std::string start = "<" + tag;
  const std::string end = "</" + tag + ">";
  for (std::size_t at = svg.find(start); at != std::string::npos; at = svg.find(start, at + 1)) {
    const std::size_t stop = std::min(svg.find("/>", at), svg.find(end, at));
    elements.push_back(svg.substr(at, stop - at));
  }
  return elements;
}

double Attribute(const std::string& element, const std::string& name) {
  const std::string key = " " + name + "=\"";
  const std::size_t at = element.find(key);
  if (at == std::string::npos) return std::numeric_limits<double>::quiet_NaN();
  return std::stod(element.substr(at + key.size()));
}

std::string Content(const std::string& element) {
  const std::size_t at = element.find('>');
  return at == std::string::npos ? std::string() : element.substr(at + 1);
}

}  // namespace propsmooth
