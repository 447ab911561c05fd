// 图片框1: decoding a cover picture (PNG, JPEG, GIF, BMP) with WIC and drawing it centred.
#include <windows.h>

#include <wincodec.h>

#include <algorithm>

#include "app/win32/window_parts_win32.hpp"

namespace qiwa {
namespace {

struct Fit {
  UINT width, height;
};

Fit fit_into(UINT width, UINT height, int max_width, int max_height) {
  const double scale = std::min(static_cast<double>(max_width) / width, static_cast<double>(max_height) / height);
  return {std::max(1u, static_cast<UINT>(width * scale + 0.5)), std::max(1u, static_cast<UINT>(height * scale + 0.5))};
}

// The first frame as premultiplied BGRA scaled to the fit; null on any failure.
ComRef<IWICBitmapSource> scaled_frame(IWICImagingFactory* factory, const Bytes& image, int max_w, int max_h) {
  ComRef<IWICStream> stream;
  ComRef<IWICBitmapDecoder> decoder;
  ComRef<IWICBitmapFrameDecode> frame;
  ComRef<IWICFormatConverter> converter;
  ComRef<IWICBitmapScaler> scaler;
  IWICStream* s = nullptr;
  if (FAILED(factory->CreateStream(&s))) return {};
  stream.reset(s);
  if (FAILED(stream.get()->InitializeFromMemory(const_cast<BYTE*>(image.data()), static_cast<DWORD>(image.size()))))
    return {};
  IWICBitmapDecoder* d = nullptr;
  if (FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, &d))) return {};
  decoder.reset(d);
  IWICBitmapFrameDecode* f = nullptr;
  if (FAILED(decoder.get()->GetFrame(0, &f))) return {};
  frame.reset(f);
  IWICFormatConverter* c = nullptr;
  if (FAILED(factory->CreateFormatConverter(&c))) return {};
  converter.reset(c);
  if (FAILED(converter.get()->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                         0.0, WICBitmapPaletteTypeCustom)))
    return {};
  UINT width = 0, height = 0;
  if (FAILED(converter.get()->GetSize(&width, &height)) || width == 0 || height == 0) return {};
  const Fit fit = fit_into(width, height, max_w, max_h);
  IWICBitmapScaler* sc = nullptr;
  if (FAILED(factory->CreateBitmapScaler(&sc))) return {};
  scaler.reset(sc);
  if (FAILED(scaler.get()->Initialize(converter.get(), fit.width, fit.height, WICBitmapInterpolationModeFant)))
    return {};
  return ComRef<IWICBitmapSource>(scaler.release());
}

// Transparent parts over white, so the plain BitBlt shows what a viewer would.
void compose_on_white(BYTE* pixels, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i, pixels += 4)
    for (int channel = 0; channel < 3; ++channel) pixels[channel] = static_cast<BYTE>(pixels[channel] + 255 - pixels[3]);
}

}  // namespace

// Made at the first use on a thread (a cover, the taskbar button) rather than at start-up.
bool com_ready() {
  static thread_local const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  return com;
}

GdiObject decode_picture(const Bytes& image, int max_width, int max_height) {
  if (image.empty() || max_width <= 0 || max_height <= 0 || image.size() > 0x7fffffff) return {};
  if (!com_ready()) return {};
  ComRef<IWICImagingFactory> factory;
  IWICImagingFactory* f = nullptr;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&f)))) return {};
  factory.reset(f);
  ComRef<IWICBitmapSource> source = scaled_frame(factory.get(), image, max_width, max_height);
  UINT width = 0, height = 0;
  if (!source || FAILED(source.get()->GetSize(&width, &height))) return {};
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = static_cast<LONG>(width);
  info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down rows, as WIC copies them
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  GdiObject bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) return {};
  const UINT stride = width * 4;
  if (FAILED(source.get()->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits)))) return {};
  compose_on_white(static_cast<BYTE*>(bits), static_cast<std::size_t>(width) * height);
  return bitmap;
}

void draw_picture(const DRAWITEMSTRUCT& item, HBITMAP bitmap, HBRUSH background) {
  const RECT& box = item.rcItem;
  FillRect(item.hDC, &box, background);
  BITMAP info{};
  if (!bitmap || !GetObjectW(bitmap, sizeof info, &info)) return;
  MemoryDc dc(CreateCompatibleDC(item.hDC));
  if (!dc) return;
  const Selected picture(dc.get(), bitmap);
  const int x = box.left + (box.right - box.left - info.bmWidth) / 2;
  const int y = box.top + (box.bottom - box.top - info.bmHeight) / 2;
  BitBlt(item.hDC, x, y, info.bmWidth, info.bmHeight, dc.get(), 0, 0, SRCCOPY);
}

}  // namespace qiwa
