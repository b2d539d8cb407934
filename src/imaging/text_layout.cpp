#include "imaging/text_layout.h"

#include <QFontInfo>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "imaging/page_render.h"

namespace pagewend::imaging {

namespace {

// Lines are set at this many pixels per page unit, where hinting and whole pixels no longer
// move the breaks, and scaled back.
constexpr double kSettingScale = 8;

}  // namespace

TextSetting SetText(const reading::PagePart& part) {
  TextSetting setting;
  const QFont font = TextFont(part.style, static_cast<int>(std::lround(part.style.size * kSettingScale)));
  setting.family = QFontInfo(font).family().toStdString();
  // As QPainter::drawText takes it: a new line in the text breaks the line.
  QString text = QString::fromStdString(part.text);
  text.replace(QLatin1Char('\n'), QChar::LineSeparator);
  QTextLayout layout(text, font);
  layout.setTextOption(TextOptions(part.style));
  const double width = part.box.width * kSettingScale;
  double y = 0;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    line.setPosition(QPointF(0, y));
    y += line.height();
    const QString words = text.mid(line.textStart(), line.textLength()).trimmed();
    if (words.isEmpty()) continue;
    const QRectF natural = line.naturalTextRect();
    setting.lines.push_back({.text = words.toStdString(),
                             .x = part.box.x + natural.x() / kSettingScale,
                             .baseline = part.box.y + (line.y() + line.ascent()) / kSettingScale,
                             .width = natural.width() / kSettingScale});
  }
  layout.endLayout();
  return setting;
}

}  // namespace pagewend::imaging
