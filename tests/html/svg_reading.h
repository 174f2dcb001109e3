// Test helper: the elements, numbers and texts of the SVG the charts write,
// read back out of it.
#ifndef PROPSMOOTH_TESTS_HTML_SVG_READING_H_
#define PROPSMOOTH_TESTS_HTML_SVG_READING_H_

#include <string>
#include <vector>

namespace propsmooth {

/// Every `tag` element of `svg` in order, each from its "<tag" to its end
/// ("/>" or "</tag>", left out).
std::vector<std::string> Elements(const std::string& svg, const std::string& tag);

/// The number of attribute `name` of an element; NaN when it has none.
double Attribute(const std::string& element, const std::string& name);

/// An element's content: its text after the start tag.
std::string Content(const std::string& element);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TESTS_HTML_SVG_READING_H_
