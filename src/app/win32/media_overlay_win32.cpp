// The system media transport controls (Windows 10 on) of the main window, loaded at the first song:
// combase.dll and shcore.dll are opened by name then, so the program imports neither and its start pays
// nothing. Where they or the controls are missing (Windows 7 and 8, Wine) nothing shows and every call
// does nothing. MinGW-w64 declares none of these WinRT interfaces: they are declared here, every method
// in its place in the vtable of the Windows ABI (Windows.Media and Windows.Storage.Streams, whose IDL
// gives the order and the uuids), all __stdcall.
#include "app/win32/media_overlay_win32.hpp"

#include <eventtoken.h>
#include <inspectable.h>
#include <roapi.h>
#include <shlwapi.h>
#include <winstring.h>

#include <atomic>
#include <climits>
#include <utility>

#include "app/win32/window_parts_win32.hpp"
#include "runtime/win32/handle.hpp"
#include "runtime/win32/wide.hpp"

namespace qiwa {
namespace {

// WinRT enums are 32-bit; only the values used here.
enum PlaybackStatus : INT32 { kStatusClosed = 0, kStatusPlaying = 3, kStatusPaused = 4 };
enum PlaybackType : INT32 { kTypeMusic = 1 };
enum SmtcButton : INT32 { kButtonPlay = 0, kButtonPause = 1, kButtonNext = 6, kButtonPrevious = 7 };

// Windows.Storage.Streams.IRandomAccessStreamReference: handed on, never called.
struct IStreamReference : IInspectable {};

// Windows.Media.IMusicDisplayProperties
struct IMusicProperties : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Title(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Title(HSTRING value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AlbumArtist(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AlbumArtist(HSTRING value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Artist(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Artist(HSTRING value) = 0;
};

// Windows.Media.ISystemMediaTransportControlsDisplayUpdater
struct IDisplayUpdater : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Type(INT32* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Type(INT32 value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AppMediaId(HSTRING* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AppMediaId(HSTRING value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Thumbnail(IStreamReference** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Thumbnail(IStreamReference* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MusicProperties(IMusicProperties** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_VideoProperties(IInspectable** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ImageProperties(IInspectable** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyFromFileAsync(INT32 type, IInspectable* source, IInspectable** operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearAll() = 0;
  virtual HRESULT STDMETHODCALLTYPE Update() = 0;
};

// Windows.Media.ISystemMediaTransportControlsButtonPressedEventArgs
struct IButtonPressedArgs : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Button(INT32* value) = 0;
};

struct IControls;
// TypedEventHandler<SystemMediaTransportControls*, SystemMediaTransportControlsButtonPressedEventArgs*>
struct IButtonPressedHandler : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(IControls* sender, IButtonPressedArgs* args) = 0;
};

// Windows.Media.ISystemMediaTransportControls
struct IControls : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_PlaybackStatus(INT32* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PlaybackStatus(INT32 value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DisplayUpdater(IDisplayUpdater** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SoundLevel(INT32* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsEnabled(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsEnabled(boolean value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsPlayEnabled(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsPlayEnabled(boolean value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsStopEnabled(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsStopEnabled(boolean value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsPauseEnabled(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsPauseEnabled(boolean value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsRecordEnabled(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsRecordEnabled(boolean value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsFastForwardEnabled(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsFastForwardEnabled(boolean value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsRewindEnabled(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsRewindEnabled(boolean value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsPreviousEnabled(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsPreviousEnabled(boolean value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsNextEnabled(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsNextEnabled(boolean value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsChannelUpEnabled(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsChannelUpEnabled(boolean value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsChannelDownEnabled(boolean* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsChannelDownEnabled(boolean value) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ButtonPressed(IButtonPressedHandler* handler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ButtonPressed(EventRegistrationToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_PropertyChanged(IUnknown* handler, EventRegistrationToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_PropertyChanged(EventRegistrationToken token) = 0;
};

// ISystemMediaTransportControlsInterop (systemmediatransportcontrolsinterop.h): the controls of a window.
struct IControlsInterop : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE GetForWindow(HWND window, REFIID iid, void** controls) = 0;
};

// Windows.Storage.Streams.IRandomAccessStreamReferenceStatics
struct IStreamReferenceStatics : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE CreateFromFile(IInspectable* file, IStreamReference** reference) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateFromUri(IInspectable* uri, IStreamReference** reference) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateFromStream(IInspectable* stream, IStreamReference** reference) = 0;
};

constexpr GUID kInteropIid = {0xddb0472d, 0xc911, 0x4a1f, {0x86, 0xd9, 0xdc, 0x3d, 0x71, 0xa9, 0x5f, 0x5a}};
constexpr GUID kControlsIid = {0x99fa3ff4, 0x1742, 0x42a6, {0x90, 0x2e, 0x08, 0x7d, 0x41, 0xf9, 0x65, 0xec}};
constexpr GUID kHandlerIid = {0x0557e996, 0x7b23, 0x5bae, {0xaa, 0x81, 0xea, 0x0d, 0x67, 0x11, 0x43, 0xa4}};
constexpr GUID kStaticsIid = {0x857309dc, 0x3fbf, 0x4e7d, {0x98, 0x6f, 0xef, 0x3b, 0x1a, 0x07, 0xa9, 0x64}};
constexpr GUID kRandomAccessStreamIid = {0x905a0fe1, 0xbc53, 0x11df, {0x8c, 0x49, 0x00, 0x1e, 0x4f, 0xc6, 0x86, 0xda}};
constexpr INT32 kStreamDefault = 0;  // BSOS_DEFAULT

// The functions of combase.dll and shcore.dll, looked up once, at the first song.
struct WinRt {
  ModuleHandle combase, shcore;
  decltype(&RoGetActivationFactory) activation_factory = nullptr;
  decltype(&WindowsCreateString) create_string = nullptr;
  decltype(&WindowsDeleteString) delete_string = nullptr;
  HRESULT(WINAPI* stream_over)(IStream* stream, INT32 options, REFIID iid, void** out) = nullptr;
  decltype(&SHCreateMemStream) memory_stream = nullptr;
};

template <class F>
void look_up(F& fn, HMODULE module, const char* name) {
  fn = module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

const WinRt& winrt() {
  static const WinRt api = [] {
    WinRt w;
    w.combase.reset(LoadLibraryW(L"combase.dll"));
    w.shcore.reset(LoadLibraryW(L"shcore.dll"));
    look_up(w.activation_factory, w.combase.get(), "RoGetActivationFactory");
    look_up(w.create_string, w.combase.get(), "WindowsCreateString");
    look_up(w.delete_string, w.combase.get(), "WindowsDeleteString");
    look_up(w.stream_over, w.shcore.get(), "CreateRandomAccessStreamOverStream");
    look_up(w.memory_stream, w.shcore.get(), "SHCreateMemStream");
    return w;
  }();
  return api;
}

struct RtStringTraits {
  using Value = HSTRING;
  static Value invalid() noexcept { return nullptr; }
  static void close(Value v) noexcept { winrt().delete_string(v); }
};
using RtString = Handle<RtStringTraits>;  // WindowsCreateString

// Null (WinRT's empty string) when it cannot be made.
RtString rt_string(std::wstring_view text) {
  HSTRING made = nullptr;
  if (FAILED(winrt().create_string(text.data(), static_cast<UINT32>(text.size()), &made))) return {};
  return RtString(made);
}

template <class I>
ComRef<I> activation_factory(std::wstring_view class_name, const GUID& iid) {
  const RtString name = rt_string(class_name);
  void* factory = nullptr;
  if (!name || FAILED(winrt().activation_factory(name.get(), iid, &factory)) || !factory) return {};
  return ComRef<I>(static_cast<I*>(factory));
}

constexpr UINT kPressedMessage = WM_APP + 1;  // wparam: the SmtcButton
constexpr wchar_t kMessageClass[] = L"QiwaMediaOverlay";

// Hands each press of the overlay's buttons to the window's thread: the system calls it on a thread of
// its own. Agile, so that it is called there directly.
class ButtonHandler final : public IButtonPressedHandler {
 public:
  explicit ButtonHandler(HWND target) : target_(target) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IAgileObject && iid != kHandlerIid) return E_NOINTERFACE;
    *out = static_cast<IButtonPressedHandler*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Invoke(IControls*, IButtonPressedArgs* args) override {
    INT32 button = -1;
    if (!args || FAILED(args->get_Button(&button))) return S_OK;
    if (HWND target = target_.load()) PostMessageW(target, kPressedMessage, static_cast<WPARAM>(button), 0);
    return S_OK;
  }
  // The overlay is going: later presses are dropped.
  void forget() { target_.store(nullptr); }

 private:
  std::atomic<ULONG> references_{1};
  std::atomic<HWND> target_;
};

// The picture from the cover's bytes; none when it is empty or a piece is missing.
ComRef<IStreamReference> cover_reference(IStreamReferenceStatics* statics, const Bytes& cover) {
  const WinRt& api = winrt();
  if (!statics || cover.empty() || cover.size() > UINT_MAX || !api.memory_stream || !api.stream_over) return {};
  ComRef<IStream> bytes(api.memory_stream(cover.data(), static_cast<UINT>(cover.size())));
  void* stream = nullptr;
  if (!bytes || FAILED(api.stream_over(bytes.get(), kStreamDefault, kRandomAccessStreamIid, &stream)) || !stream)
    return {};
  ComRef<IInspectable> random_access(static_cast<IInspectable*>(stream));
  IStreamReference* reference = nullptr;
  if (FAILED(statics->CreateFromStream(random_access.get(), &reference))) return {};
  return ComRef<IStreamReference>(reference);
}

}  // namespace

struct Win32MediaOverlay::Controls {
  ComRef<IControls> controls;
  ComRef<IDisplayUpdater> updater;
  ComRef<IStreamReferenceStatics> streams;  // none: no covers
  WindowHandle messages;                    // where the presses are posted, on the window's thread
  ComRef<ButtonHandler> handler;
  EventRegistrationToken token{};
  bool registered = false;

  ~Controls() {
    if (registered) controls.get()->remove_ButtonPressed(token);
    if (handler) handler.get()->forget();
  }
};

Win32MediaOverlay::Win32MediaOverlay(HWND window, MediaButtons buttons)
    : window_(window), buttons_(std::move(buttons)) {}

Win32MediaOverlay::~Win32MediaOverlay() = default;

LRESULT CALLBACK Win32MediaOverlay::window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<Win32MediaOverlay*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message != kPressedMessage || !self || !self->buttons_) return DefWindowProcW(hwnd, message, wparam, lparam);
  switch (static_cast<INT32>(wparam)) {
    case kButtonPlay: self->buttons_(MediaButton::play); break;
    case kButtonPause: self->buttons_(MediaButton::pause); break;
    case kButtonPrevious: self->buttons_(MediaButton::previous); break;
    case kButtonNext: self->buttons_(MediaButton::next); break;
    default: break;
  }
  return 0;
}

bool Win32MediaOverlay::ready() {
  if (tried_) return controls_ != nullptr;
  tried_ = true;
  const WinRt& api = winrt();
  if (!api.activation_factory || !api.create_string || !api.delete_string || !IsWindow(window_) || !com_ready())
    return false;
  const auto interop = activation_factory<IControlsInterop>(L"Windows.Media.SystemMediaTransportControls", kInteropIid);
  void* found = nullptr;
  if (!interop || FAILED(interop.get()->GetForWindow(window_, kControlsIid, &found)) || !found) return false;
  auto c = std::make_unique<Controls>();
  c->controls.reset(static_cast<IControls*>(found));
  IDisplayUpdater* updater = nullptr;
  if (FAILED(c->controls.get()->get_DisplayUpdater(&updater)) || !updater) return false;
  c->updater.reset(updater);
  c->streams = activation_factory<IStreamReferenceStatics>(L"Windows.Storage.Streams.RandomAccessStreamReference",
                                                           kStaticsIid);
  IControls* controls = c->controls.get();
  controls->put_IsPlayEnabled(true);
  controls->put_IsPauseEnabled(true);
  controls->put_IsPreviousEnabled(true);
  controls->put_IsNextEnabled(true);
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = window_proc;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.lpszClassName = kMessageClass;
  RegisterClassExW(&cls);
  c->messages.reset(CreateWindowExW(0, kMessageClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, nullptr));
  if (c->messages) {
    SetWindowLongPtrW(c->messages.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    c->handler.reset(new ButtonHandler(c->messages.get()));
    c->registered = SUCCEEDED(controls->add_ButtonPressed(c->handler.get(), &c->token));
  }
  controls_ = std::move(c);
  return true;
}

void Win32MediaOverlay::show(std::string_view title, std::string_view singer, const Bytes& cover) {
  if (!ready()) return;
  IDisplayUpdater* updater = controls_->updater.get();
  updater->ClearAll();
  updater->put_Type(kTypeMusic);
  IMusicProperties* found = nullptr;
  if (SUCCEEDED(updater->get_MusicProperties(&found)) && found) {
    const ComRef<IMusicProperties> music(found);
    const RtString title_text = rt_string(wide(title)), singer_text = rt_string(wide(singer));
    music.get()->put_Title(title_text.get());
    music.get()->put_Artist(singer_text.get());
  }
  if (const auto picture = cover_reference(controls_->streams.get(), cover)) updater->put_Thumbnail(picture.get());
  updater->Update();
  controls_->controls.get()->put_IsEnabled(true);
  showing_ = true;
  show_status();
}

void Win32MediaOverlay::set_playing(bool playing) {
  playing_ = playing;
  show_status();
}

void Win32MediaOverlay::show_status() {
  if (showing_ && controls_) controls_->controls.get()->put_PlaybackStatus(playing_ ? kStatusPlaying : kStatusPaused);
}

void Win32MediaOverlay::clear() {
  const bool was_showing = std::exchange(showing_, false);
  if (!was_showing || !controls_) return;
  controls_->updater.get()->ClearAll();
  controls_->updater.get()->Update();
  controls_->controls.get()->put_PlaybackStatus(kStatusClosed);
  controls_->controls.get()->put_IsEnabled(false);
}

}  // namespace qiwa
