#include "platform/canvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// g++ and clang both have it; ISO C++ has no 128-bit integer.
__extension__ using WideInt = __int128;

// QImage::Format_RGB32 wants the unused top byte set.
constexpr std::uint32_t OpaqueBits = 0xFF000000U;
constexpr std::uint32_t ColorBits = 0x00FFFFFFU;
constexpr int WindowFontPixels = 11;

// The window font and the metrics every text needs, made once for the application and released
// with it (fonts must not outlive the QGuiApplication). Only numbers are kept of the metrics: a
// QFontMetrics held beside the font made each redraw of the window half as slow again.
struct TextStyle {
  QFont font;
  int ascent;
  int height;
};

const TextStyle& WindowText() {
  static std::unique_ptr<const TextStyle> style;
  if (!style) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif, QFont::NoAntialias);
    font.setPixelSize(WindowFontPixels);
    const QFontMetrics metrics(font);
    style = std::make_unique<const TextStyle>(TextStyle{font, metrics.ascent(), metrics.height()});
    qAddPostRoutine([] { style.reset(); });
  }
  return *style;
}

QColor ToQColor(Color color) {
  return {static_cast<int>((color >> 16) & 0xFF), static_cast<int>((color >> 8) & 0xFF),
          static_cast<int>(color & 0xFF)};
}

// [low, high) of the steps n of 0..count-1 for which start + step * n lies in [0, limit).
void ClipSteps(long long start, int step, long long count, long long limit, long long& low,
               long long& high) {
  low = 0;
  high = count;
  if (step == 0) {
    if (start < 0 || start >= limit) high = 0;
    return;
  }
  if (step > 0) {
    low = std::max(low, -start);
    high = std::min(high, limit - start);
  } else {
    low = std::max(low, start - limit + 1);
    high = std::min(high, start + 1);
  }
}

}  // namespace

Canvas::Canvas(Bitmap& target) : target_(target) {}

void Canvas::SetPenColor(Color color) { penColor_ = color & ColorBits; }
void Canvas::SetPenStyle(PenStyle style) { penStyle_ = style; }
void Canvas::SetBrushColor(Color color) {
  brushColor_ = color & ColorBits;
  brushStyle_ = BrushStyle::Solid;
}
void Canvas::SetBrushStyle(BrushStyle style) { brushStyle_ = style; }
void Canvas::SetFontColor(Color color) { fontColor_ = color & ColorBits; }

void Canvas::MoveTo(int x, int y) {
  penX_ = x;
  penY_ = y;
}

void Canvas::LineTo(int x, int y) {
  PlotLine(penX_, penY_, x, y, false);
  penX_ = x;
  penY_ = y;
}

// Integer Bresenham along the major axis: the minor offset at step n is
// floor((2 n minor + major) / (2 major)), so ties step away from the start. The first
// visible step is computed directly, so a long line far outside costs nothing.
void Canvas::PlotLine(int x0, int y0, int x1, int y1, bool includeEnd) {
  const long long dx = std::llabs(static_cast<long long>(x1) - x0);
  const long long dy = std::llabs(static_cast<long long>(y1) - y0);
  const int sx = x1 > x0 ? 1 : (x1 < x0 ? -1 : 0);
  const int sy = y1 > y0 ? 1 : (y1 < y0 ? -1 : 0);
  const bool xMajor = dx >= dy;
  const long long major = xMajor ? dx : dy;
  const long long minor = xMajor ? dy : dx;
  const long long count = major + (includeEnd ? 1 : 0);
  if (count <= 0) return;

  long long low = 0;
  long long high = 0;
  if (xMajor) {
    ClipSteps(x0, sx, count, target_.Width(), low, high);
  } else {
    ClipSteps(y0, sy, count, target_.Height(), low, high);
  }
  if (low >= high) return;

  const long long twoMajor = 2 * std::max(major, 1LL);
  // 2 * low * minor needs 66 bits for a line across the whole int range on both axes.
  const WideInt numerator = WideInt{2} * low * minor + std::max(major, 1LL);
  auto offset = static_cast<long long>(numerator / twoMajor);
  auto rest = static_cast<long long>(numerator % twoMajor);
  const bool dotted = penStyle_ == PenStyle::Dot;
  const bool gapsFilled = brushStyle_ == BrushStyle::Solid;
  for (long long n = low; n < high; ++n) {
    const long long px = xMajor ? x0 + sx * n : x0 + sx * offset;
    const long long py = xMajor ? y0 + sy * offset : y0 + sy * n;
    if (!dotted || n % 2 == 0) {
      target_.SetPixel(static_cast<int>(px), static_cast<int>(py), penColor_);
    } else if (gapsFilled) {
      target_.SetPixel(static_cast<int>(px), static_cast<int>(py), brushColor_);
    }
    rest += 2 * minor;
    if (rest >= twoMajor) {
      rest -= twoMajor;
      ++offset;
    }
  }
}

void Canvas::FillRect(int x1, int y1, int x2, int y2, Color color) {
  const int left = std::max(x1, 0);
  const int top = std::max(y1, 0);
  const int right = std::min(x2, target_.Width());
  const int bottom = std::min(y2, target_.Height());
  if (left >= right || top >= bottom) return;
  const std::uint32_t bits = color | OpaqueBits;
  std::uint32_t* const pixels = target_.Bits();
  for (int y = top; y < bottom; ++y) {
    std::uint32_t* const row = pixels + static_cast<std::ptrdiff_t>(y) * target_.Width();
    std::fill(row + left, row + right, bits);
  }
}

void Canvas::Rectangle(int x1, int y1, int x2, int y2) {
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  if (x1 == x2 || y1 == y2) return;
  if (brushStyle_ == BrushStyle::Solid) FillRect(x1 + 1, y1 + 1, x2 - 1, y2 - 1, brushColor_);
  const int right = x2 - 1;
  const int bottom = y2 - 1;
  PlotLine(x1, y1, right, y1, true);
  PlotLine(x1, bottom, right, bottom, true);
  PlotLine(x1, y1, x1, bottom, true);
  PlotLine(right, y1, right, bottom, true);
}

void Canvas::TextOut(int x, int y, const std::string& text) {
  if (textLog_ != nullptr) textLog_->push_back({x, y, text, fontColor_});
  // Without a QGuiApplication there are no fonts; the text is then only recorded.
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return;
  if (target_.Width() == 0 || target_.Height() == 0 || text.empty()) return;
  const TextStyle& style = WindowText();
  const QString qtext = QString::fromStdString(text);
  if (brushStyle_ == BrushStyle::Solid) {
    const int advance = QFontMetrics(style.font).horizontalAdvance(qtext);
    FillRect(x, y, x + advance, y + style.height, brushColor_);
  }
  QImage image(reinterpret_cast<uchar*>(target_.Bits()), target_.Width(), target_.Height(),
               static_cast<qsizetype>(target_.Width()) * 4, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setFont(style.font);
  painter.setPen(ToQColor(fontColor_));
  painter.drawText(x, y + style.ascent, qtext);
}

void Canvas::Draw(int x, int y, const Bitmap& source) {
  const int left = std::max(x, 0);
  const int top = std::max(y, 0);
  const int right = std::min(x + source.Width(), target_.Width());
  const int bottom = std::min(y + source.Height(), target_.Height());
  if (left >= right || top >= bottom || &source == &target_) return;
  for (int row = top; row < bottom; ++row) {
    const std::uint32_t* const from =
        source.Bits() + static_cast<std::ptrdiff_t>(row - y) * source.Width() + (left - x);
    std::uint32_t* const to =
        target_.Bits() + static_cast<std::ptrdiff_t>(row) * target_.Width() + left;
    std::memcpy(to, from, static_cast<std::size_t>(right - left) * sizeof(std::uint32_t));
  }
}

void Canvas::RecordTexts(std::vector<TextRecord>* log) { textLog_ = log; }

Bitmap::Bitmap() : canvas_(*this) {}

Bitmap::~Bitmap() = default;

void Bitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_),
                 Black | OpaqueBits);
}

Color Bitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                 static_cast<std::size_t>(x)] &
         ColorBits;
}

void Bitmap::SetPixel(int x, int y, Color color) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
          static_cast<std::size_t>(x)] = (color & ColorBits) | OpaqueBits;
}
