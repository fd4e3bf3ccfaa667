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
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/window_font.h"

namespace {

// g++ and clang both have it; ISO C++ has no 128-bit integer.
__extension__ using WideInt = __int128;

// QImage::Format_RGB32 wants the unused top byte set.
constexpr std::uint32_t OpaqueBits = 0xFF000000U;
constexpr std::uint32_t ColorBits = 0x00FFFFFFU;

// A text as the window font draws it with its top-left corner at the origin: the pixels its
// glyphs cover, row by row, and its advance. The font has no antialiasing, so a glyph pixel
// takes the font colour whatever was under it, and whole-pixel moves of a text move its pixels
// alike: every later drawing of the same text is a copy of the first.
struct TextPicture {
  struct Run {
    int dx;
    int dy;
    int length;
  };
  int advance = 0;
  std::vector<Run> runs;
  // What the runs cover, from the text's corner.
  PixelArea extent;
};

// The window font, the metrics every text needs and the pictures of the texts drawn so far,
// made once for the application and released with it (fonts must not outlive the
// QGuiApplication). Only numbers are kept of the metrics: a QFontMetrics held beside the font
// made each redraw of the window half as slow again.
struct TextStyle {
  QFont font;
  int ascent;
  int height;
  std::unordered_map<std::string, TextPicture> pictures;
};

// The displays draw a few dozen different labels. Past this many pictures the texts are ones
// that change, and the pictures start again from none.
constexpr std::size_t MaxTextPictures = 512;

TextStyle& WindowText() {
  static std::unique_ptr<TextStyle> style;
  if (!style) {
    QFont font = WindowFont();
    font.setStyleStrategy(QFont::NoAntialias);
    // Hinted alike at every scale factor: high-DPI scaling turns Qt's default hinting off,
    // which thins the strokes of small unantialiased glyphs away ("]" of "Time [ms]").
    font.setHintingPreference(QFont::PreferVerticalHinting);
    const QFontMetrics metrics(font);
    style = std::make_unique<TextStyle>(TextStyle{font, metrics.ascent(), metrics.height(), {}});
    qAddPostRoutine([] { style.reset(); });
  }
  return *style;
}

// Draws `text` once on a blank image with room on every side for glyphs that reach beyond the
// text's box, and keeps the pixels it covers.
TextPicture MakeTextPicture(const TextStyle& style, const QString& text) {
  TextPicture picture;
  picture.advance = QFontMetrics(style.font).horizontalAdvance(text);
  const int margin = 2 * style.height;
  QImage image(picture.advance + 2 * margin, style.height + 2 * margin, QImage::Format_RGB32);
  constexpr QRgb Blank = 0xFF000000U;
  image.fill(Blank);
  {
    QPainter painter(&image);
    painter.setFont(style.font);
    painter.setPen(QColor(Qt::white));
    painter.drawText(margin, margin + style.ascent, text);
  }
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width();) {
      if (image.pixel(x, y) == Blank) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < image.width() && image.pixel(x, y) != Blank) ++x;
      picture.runs.push_back({start - margin, y - margin, x - start});
    }
  }
  for (const TextPicture::Run& run : picture.runs) {
    picture.extent = picture.extent.Joined({run.dx, run.dy, run.dx + run.length, run.dy + 1});
  }
  return picture;
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

// Clears and long lines are most of the pixels of a frame; with AVX2, where the processor has
// it, the stores are twice as wide. The choice is made at the first fill, not by an ifunc
// resolver (target_clones), which runs before a sanitizer's runtime is ready and crashes it.
#if defined(__x86_64__)
[[gnu::target("avx2")]] void FillPixelsAvx2(std::uint32_t* first, std::uint32_t* last,
                                            std::uint32_t bits) {
  std::fill(first, last, bits);
}
#endif

void FillPixels(std::uint32_t* first, std::uint32_t* last, std::uint32_t bits) {
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2") != 0;
  if (avx2) {
    FillPixelsAvx2(first, last, bits);
    return;
  }
#endif
  std::fill(first, last, bits);
}

// One axis of a line: where it starts and which way it goes along the axis, how far, and the
// bitmap's extent along the axis and distance between neighbouring pixels on it.
struct LineAxis {
  long long start;
  int sign;
  long long length;
  long long extent;
  long long stride;
};

LineAxis MakeLineAxis(int from, int to, long long extent, long long stride) {
  return {from, to > from ? 1 : (to < from ? -1 : 0), std::llabs(static_cast<long long>(to) - from),
          extent, stride};
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
  // A line to the current position draws nothing; traces make many of them.
  if (x != penX_ || y != penY_) PlotLine(penX_, penY_, x, y, false);
  penX_ = x;
  penY_ = y;
}

// Integer Bresenham along the major axis: the minor offset at step n is
// floor((2 n minor + major) / (2 major)), so ties step away from the start. The first
// visible step is computed directly, so a long line far outside costs nothing. The pixels are
// then walked by index, checking the minor coordinate at every step.
void Canvas::PlotLine(int x0, int y0, int x1, int y1, bool includeEnd) {
  const long long width = target_.Width();
  const LineAxis xAxis = MakeLineAxis(x0, x1, width, 1);
  const LineAxis yAxis = MakeLineAxis(y0, y1, target_.Height(), width);
  const bool xMajor = xAxis.length >= yAxis.length;
  const LineAxis& major = xMajor ? xAxis : yAxis;
  const LineAxis& minor = xMajor ? yAxis : xAxis;
  const long long count = major.length + (includeEnd ? 1 : 0);
  if (count <= 0) return;

  long long low = 0;
  long long high = 0;
  ClipSteps(major.start, major.sign, count, major.extent, low, high);
  if (low >= high) return;
  target_.MarkChanged(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) + 1LL,
                      std::max(y0, y1) + 1LL);

  const long long twoMajor = 2 * std::max(major.length, 1LL);
  long long offset = 0;
  long long rest = std::max(major.length, 1LL);
  if (low > 0) {
    // 2 * low * minor needs 66 bits for a line across the whole int range on both axes.
    const WideInt numerator = WideInt{2} * low * minor.length + rest;
    offset = static_cast<long long>(numerator / twoMajor);
    rest = static_cast<long long>(numerator % twoMajor);
  }

  long long minorAt = minor.start + minor.sign * offset;
  long long at = (major.start + major.sign * low) * major.stride + minorAt * minor.stride;
  const long long majorStep = major.sign * major.stride;
  const long long minorStep = minor.sign * minor.stride;
  std::uint32_t* const pixels = target_.Bits();
  const std::uint32_t pen = penColor_ | OpaqueBits;
  const std::uint32_t gap = brushColor_ | OpaqueBits;
  const bool dotted = penStyle_ == PenStyle::Dot;
  const bool gapsFilled = brushStyle_ == BrushStyle::Solid;
  // Step `step` of the line, at pixel `index`: a dotted pen draws the even steps and leaves the
  // odd ones to the brush.
  const auto plot = [=](long long step, long long index) {
    if (!dotted || step % 2 == 0) {
      pixels[index] = pen;
    } else if (gapsFilled) {
      pixels[index] = gap;
    }
  };

  if (minor.length == 0) {
    if (minorAt < 0 || minorAt >= minor.extent) return;
    if (!dotted && (majorStep == 1 || majorStep == -1)) {
      const long long first = majorStep == 1 ? at : at - (high - low - 1);
      FillPixels(pixels + first, pixels + first + (high - low), pen);
      return;
    }
    for (long long n = low; n < high; ++n, at += majorStep) plot(n, at);
    return;
  }

  for (long long n = low; n < high; ++n, at += majorStep) {
    if (minorAt >= 0 && minorAt < minor.extent) plot(n, at);
    rest += 2 * minor.length;
    if (rest >= twoMajor) {
      rest -= twoMajor;
      minorAt += minor.sign;
      at += minorStep;
    }
  }
}

void Canvas::FillRect(int x1, int y1, int x2, int y2, Color color) {
  const int left = std::max(x1, 0);
  const int top = std::max(y1, 0);
  const int right = std::min(x2, target_.Width());
  const int bottom = std::min(y2, target_.Height());
  if (left >= right || top >= bottom) return;
  target_.MarkChanged(left, top, right, bottom);
  const std::uint32_t bits = color | OpaqueBits;
  std::uint32_t* const pixels = target_.Bits();
  for (int y = top; y < bottom; ++y) {
    std::uint32_t* const row = pixels + static_cast<std::ptrdiff_t>(y) * target_.Width();
    FillPixels(row + left, row + right, bits);
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
  TextStyle& style = WindowText();
  auto found = style.pictures.find(text);
  if (found == style.pictures.end()) {
    if (style.pictures.size() >= MaxTextPictures) style.pictures.clear();
    found =
        style.pictures.emplace(text, MakeTextPicture(style, QString::fromStdString(text))).first;
  }
  const TextPicture& picture = found->second;
  if (brushStyle_ == BrushStyle::Solid) {
    FillRect(x, y, x + picture.advance, y + style.height, brushColor_);
  }
  const long long width = target_.Width();
  const long long height = target_.Height();
  const std::uint32_t bits = fontColor_ | OpaqueBits;
  target_.MarkChanged(static_cast<long long>(x) + picture.extent.left,
                      static_cast<long long>(y) + picture.extent.top,
                      static_cast<long long>(x) + picture.extent.right,
                      static_cast<long long>(y) + picture.extent.bottom);
  for (const TextPicture::Run& run : picture.runs) {
    const long long row = static_cast<long long>(y) + run.dy;
    if (row < 0 || row >= height) continue;
    const long long left = std::max(static_cast<long long>(x) + run.dx, 0LL);
    const long long right = std::min(static_cast<long long>(x) + run.dx + run.length, width);
    if (left >= right) continue;
    std::uint32_t* const pixels = target_.Bits() + row * width;
    std::fill(pixels + left, pixels + right, bits);
  }
}

void Canvas::Draw(int x, int y, const Bitmap& source) {
  const int left = std::max(x, 0);
  const int top = std::max(y, 0);
  const int right = std::min(x + source.Width(), target_.Width());
  const int bottom = std::min(y + source.Height(), target_.Height());
  if (left >= right || top >= bottom || &source == &target_) return;
  target_.MarkChanged(left, top, right, bottom);
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
  changed_ = {0, 0, width_, height_};
}

PixelArea Bitmap::TakeChangedArea() { return std::exchange(changed_, PixelArea{}); }

void Bitmap::MarkChanged(long long left, long long top, long long right, long long bottom) {
  const auto clip = [](long long value, int limit) {
    return static_cast<int>(std::clamp<long long>(value, 0, limit));
  };
  changed_ = changed_.Joined(
      {clip(left, width_), clip(top, height_), clip(right, width_), clip(bottom, height_)});
}

Color Bitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                 static_cast<std::size_t>(x)] &
         ColorBits;
}

void Bitmap::SetPixel(int x, int y, Color color) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  MarkChanged(x, y, x + 1LL, y + 1LL);
  pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
          static_cast<std::size_t>(x)] = (color & ColorBits) | OpaqueBits;
}
