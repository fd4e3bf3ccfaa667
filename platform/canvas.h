#pragma once
// The drawing surface: 32-bit bitmaps and a canvas with exact pixel rules. Lines end one pixel
// short of their end point, a rectangle (x1, y1, x2, y2) covers columns x1..x2-1 and rows y1..y2-1,
// text is placed by its top-left corner, and everything is clipped to the bitmap. Lines and
// rectangles are rasterised here; only text goes through Qt (which needs a QGuiApplication).
// User-interface thread only.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/color.h"

enum class PenStyle { Solid, Dot };
enum class BrushStyle { Solid, Clear };

class Bitmap;

// Columns left..right-1 and rows top..bottom-1 of a bitmap.
struct PixelArea {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  [[nodiscard]] bool Empty() const { return right <= left || bottom <= top; }
  // The smallest area that holds both; an empty one adds nothing.
  [[nodiscard]] PixelArea Joined(const PixelArea& other) const {
    if (other.Empty()) return *this;
    if (Empty()) return other;
    return {std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
            std::max(bottom, other.bottom)};
  }
};

class Canvas {
 public:
  // A text as drawn, for tests that check texts and positions independently of the font.
  struct TextRecord {
    int x;
    int y;
    std::string text;
    Color color;
  };

  explicit Canvas(Bitmap& target);

  void SetPenColor(Color color);
  void SetPenStyle(PenStyle style);
  // Also makes a clear brush solid again.
  void SetBrushColor(Color color);
  void SetBrushStyle(BrushStyle style);
  void SetFontColor(Color color);
  [[nodiscard]] const Bitmap& Target() const { return target_; }

  void MoveTo(int x, int y);
  // Draws from the current position up to, not including, (x, y), which becomes current.
  void LineTo(int x, int y);
  // Outline in the pen, inside in the brush (unless the brush is clear). Does not move the
  // current position.
  void Rectangle(int x1, int y1, int x2, int y2);
  // Text in the window font (11 pixels), on the brush colour unless the brush is clear.
  // Without a QGuiApplication the text is only recorded.
  void TextOut(int x, int y, const std::string& text);
  // Copies source with its top-left pixel at (x, y), clipped.
  void Draw(int x, int y, const Bitmap& source);

  // While log is set, every TextOut is appended to it as well as drawn.
  void RecordTexts(std::vector<TextRecord>* log);

 private:
  // A dotted pen sets every other pixel from the start point; the gaps take the brush colour
  // while the brush is solid and stay untouched while it is clear.
  void PlotLine(int x0, int y0, int x1, int y1, bool includeEnd);
  void FillRect(int x1, int y1, int x2, int y2, Color color);

  Bitmap& target_;
  Color penColor_ = Black;
  PenStyle penStyle_ = PenStyle::Solid;
  Color brushColor_ = Rgb(255, 255, 255);
  BrushStyle brushStyle_ = BrushStyle::Solid;
  Color fontColor_ = Black;
  int penX_ = 0;
  int penY_ = 0;
  std::vector<TextRecord>* textLog_ = nullptr;
};

class Bitmap {
 public:
  Bitmap();
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  ~Bitmap();

  // Negative sizes count as 0. The content after a resize is unspecified (it is redrawn).
  void SetSize(int width, int height);
  [[nodiscard]] int Width() const { return width_; }
  [[nodiscard]] int Height() const { return height_; }
  // Outside the bitmap: 0.
  [[nodiscard]] Color Pixel(int x, int y) const;
  void SetPixel(int x, int y, Color color);  // clipped
  // Rows top to bottom, as QImage::Format_RGB32 wants them: 0xFFRRGGBB (Pixel masks the
  // top byte off).
  [[nodiscard]] const std::uint32_t* Bits() const { return pixels_.data(); }
  [[nodiscard]] std::uint32_t* Bits() { return pixels_.data(); }

  Canvas& GetCanvas() { return canvas_; }

  // The pixels changed since the last call, as one area that holds them all (every pixel after
  // a resize), so that a window showing the bitmap repaints no more than that. Every change made
  // through the canvas or SetPixel counts; one made through Bits() must be marked by its maker.
  PixelArea TakeChangedArea();
  // Adds the area, clipped to the bitmap, to the changed one.
  void MarkChanged(long long left, long long top, long long right, long long bottom);

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint32_t> pixels_;
  Canvas canvas_;
  PixelArea changed_;
};
