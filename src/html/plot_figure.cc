#include "html/plot_figure.h"

#include "strict_output/number_format.h"
#include "html/html_text.h"
#include "html/svg_chart.h"

namespace propsmooth {

std::size_t SampleStep(std::size_t count, std::size_t cap) {
  if (cap == 0 || count <= cap) return 1;
  return (count + cap - 1) / cap;
}

void AppendSampleNote(std::size_t count, std::size_t step, std::string* out) {
  if (step == 1) return;
  out->append(" Every ");
  AppendOrdinal(step, out);
  out->append(" region is drawn (");
  out->append(std::to_string((count + step - 1) / step));
  out->append(" of ");
  out->append(std::to_string(count));
  out->append(").");
}

DotMarks OpenDots(std::size_t drawn, std::size_t named, std::string_view clip_id,
                  std::string* html) {
  DotMarks marks;
  marks.Drawn = drawn;
  marks.Clip = clip_id;
  if (drawn > named) {
    marks.NameAll = false;
    marks.Clip = {};
    OpenClippedGroup(clip_id, html);
  }
  return marks;
}

void CloseDots(const DotMarks& marks, std::string* html) {
  if (!marks.NameAll) CloseGroup(html);
}

void AppendUnnamedNote(const DotMarks& marks, std::string_view highlighted, std::string* out) {
  if (marks.NameAll) return;
  out->append(" Of ");
  out->append(std::to_string(marks.Drawn));
  out->append(" dots, ");
  if (highlighted.empty()) {
    out->append("none is");
  } else {
    out->append("only the ");
    out->append(highlighted);
    out->append(" are");
  }
  out->append(" named on hover, which keeps the page quick; the CSV table lists every region.");
}

std::string DotTooltip(const RegionRecord& record) {
  std::string text = "Code ";
  AppendInt(record.Code, &text);
  text.append(": ");
  AppendInt(record.Data1, &text);
  text.append(" of ");
  AppendInt(record.Data2, &text);
  return text;
}

void OpenFigure(std::string* html) { html->append("<figure>"); }

void CloseFigure(const std::string& caption, std::string* html) {
  html->append("<figcaption>");
  html->append(caption);
  html->append("</figcaption></figure>\n");
}

void AppendKey(std::string_view css_class, std::string_view text, std::string* out) {
  // Sample and text in one item the line never breaks: a break between the
  // two would leave the sample at a line's end and its text on the next.
  out->append("<span class=\"item\"><span class=\"key ");
  out->append(css_class);
  out->append("\"></span>");
  AppendEscaped(text, out);
  out->append("</span> ");
}

}  // namespace propsmooth
