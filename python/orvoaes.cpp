// The Python module orvoaes: the keyed API behind classes with the constructors, methods and
// exceptions of the usual Python AEAD and CMAC classes, so code switches by changing an import.
//
// Inputs are taken through the buffer protocol without copies (bytes directly); results are
// bytes objects made once at their final size and written in place. The interpreter's lock is
// released while the engine works on inputs of kReleaseGIL bytes or more, so threads run in
// parallel; the buffers stay exported (a bytearray cannot be resized) while it is released.
#include <Python.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "crypto/engine/AESChunked.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/support/error.h"
#include "orvoaes/Version.h"
#include "platform/Memory.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

namespace py = pybind11;

namespace {

using AESKeyed::TAESKey;
using platform::TCharArray16;

// Below this many bytes a call costs less than dropping and taking back the lock.
constexpr std::size_t kReleaseGIL = 4096;
constexpr std::size_t kTagBytes = 16;
// The engine's GCM limit per message (2^36 - 32 bytes).
constexpr std::size_t kGCMMaxBytes = (std::size_t{1} << 36) - 32;

PyObject* InvalidTag = nullptr;
PyObject* InvalidSignature = nullptr;
PyObject* AlreadyFinalized = nullptr;

[[noreturn]] void Raise(PyObject* type, const char* text = nullptr) {
  if (text)
    PyErr_SetString(type, text);
  else
    PyErr_SetNone(type);
  throw py::error_already_set();
}

// A read-only view of a buffer-protocol object (bytes without a view), released on scope exit.
// None stands for no bytes where noneIsEmpty.
class TIn {
 public:
  TIn(py::handle obj, const char* name, bool noneIsEmpty = false) {
    PyObject* o = obj.ptr();
    if (PyBytes_CheckExact(o)) {
      FData = reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(o));
      FSize = static_cast<std::size_t>(PyBytes_GET_SIZE(o));
      return;
    }
    if (noneIsEmpty && o == Py_None) return;
    if (PyObject_GetBuffer(o, &FView, PyBUF_SIMPLE) != 0) {
      PyErr_Clear();
      const std::string text = std::string("argument '") + name + "': cannot convert \"" + Py_TYPE(o)->tp_name +
                               "\" instance to a buffer (bytes, bytearray, memoryview, ...)";
      Raise(PyExc_TypeError, text.c_str());
    }
    FHeld = true;
    FData = static_cast<const std::uint8_t*>(FView.buf);
    FSize = static_cast<std::size_t>(FView.len);
  }
  TIn(const TIn&) = delete;
  TIn& operator=(const TIn&) = delete;
  ~TIn() {
    if (FHeld) PyBuffer_Release(&FView);
  }
  std::span<const std::uint8_t> Span() const noexcept { return {FData, FSize}; }
  std::size_t size() const noexcept { return FSize; }
  const std::uint8_t* data() const noexcept { return FData; }

 private:
  Py_buffer FView{};
  bool FHeld = false;
  const std::uint8_t* FData = nullptr;
  std::size_t FSize = 0;
};

// A writable view of a caller's buffer.
class TOut {
 public:
  TOut(py::handle obj, const char* name) {
    if (PyObject_GetBuffer(obj.ptr(), &FView, PyBUF_WRITABLE) != 0) {
      PyErr_Clear();
      const std::string text = std::string("argument '") + name + "': a writable buffer is needed (bytearray, "
                                                                  "writable memoryview, ...)";
      Raise(PyExc_TypeError, text.c_str());
    }
  }
  TOut(const TOut&) = delete;
  TOut& operator=(const TOut&) = delete;
  ~TOut() { PyBuffer_Release(&FView); }
  std::span<std::uint8_t> Span() const noexcept {
    return {static_cast<std::uint8_t*>(FView.buf), static_cast<std::size_t>(FView.len)};
  }
  std::size_t size() const noexcept { return static_cast<std::size_t>(FView.len); }

 private:
  Py_buffer FView{};
};

// Scratch memory for plain text or keys, zeroed before it is released.
struct TWipedBuffer {
  std::vector<std::uint8_t> Value;
  explicit TWipedBuffer(std::size_t n) : Value(n) {}
  TWipedBuffer(const TWipedBuffer&) = delete;
  TWipedBuffer& operator=(const TWipedBuffer&) = delete;
  ~TWipedBuffer() { platform::SecureZero(Value.data(), Value.size()); }
};

// A new bytes object of n bytes to be written in place, and the pointer to write through.
py::object NewBytes(std::size_t n, std::uint8_t*& p) {
  PyObject* b = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(n));
  if (b == nullptr) throw py::error_already_set();
  p = reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(b));
  return py::reinterpret_steal<py::object>(b);
}

// Runs f with the interpreter's lock released when n bytes are worth it.
template <class F>
auto Work(std::size_t n, F&& f) {
  if (n < kReleaseGIL) return f();
  py::gil_scoped_release unlocked;
  return f();
}

// The key bytes of a key argument: a bytes-like object, or (as CMAC is given it elsewhere) an
// algorithm object that carries its key in a "key" attribute.
std::unique_ptr<TAESKey> MakeKey(py::handle key, const char* sizeError) {
  py::object source = py::reinterpret_borrow<py::object>(key);
  if (!PyObject_CheckBuffer(key.ptr()) && py::hasattr(key, "key")) source = key.attr("key");
  TIn bytes(source, "key");
  auto k = std::make_unique<TAESKey>();
  if (k->SetKey(bytes.Span()) != 0) Raise(PyExc_ValueError, sizeError);
  return k;
}

// os.urandom(bit_length / 8) for one of the bit lengths a class takes (bits), else ValueError
// with message.
template <std::size_t N>
py::bytes GenerateKey(py::handle bitLength, const std::array<long, N>& bits, const char* message) {
  if (!PyLong_Check(bitLength.ptr())) Raise(PyExc_TypeError, "bit_length must be an integer");
  const long b = PyLong_AsLong(bitLength.ptr());
  if (b == -1 && PyErr_Occurred()) PyErr_Clear();
  if (std::find(bits.begin(), bits.end(), b) == bits.end()) Raise(PyExc_ValueError, message);
  return py::module_::import("os").attr("urandom")(b / 8);
}

// --- The AEAD classes: nonce, data and associated data in, cipher text followed by the tag out.
// A mode is a traits type: its key class, the key-size message, its nonce rule and its sealing
// and opening calls on spans.

template <class Traits>
class TAEAD {
 public:
  using TKey = typename Traits::TKey;

  explicit TAEAD(py::handle key, std::size_t tagBytes = 16) : FKey(std::make_unique<TKey>()), FTagBytes(tagBytes) {
    TIn bytes(key, "key");
    if (!Traits::KeyLengthOK(bytes.size()) || FKey->SetKey(bytes.Span()) != 0) Raise(PyExc_ValueError, Traits::kKeyError);
  }

  py::object Encrypt(py::handle nonce, py::handle data, py::handle aad) const {
    TIn n(nonce, "nonce"), d(data, "data"), a(aad, "associated_data", true);
    Check(n, d, a);
    std::uint8_t* out = nullptr;
    py::object result = NewBytes(d.size() + FTagBytes, out);
    if (const int st = Seal(n, d, a, out))  // the checks above leave the engine nothing to refuse
      Raise(PyExc_ValueError, ("the arguments were refused (status " + std::to_string(st) + ")").c_str());
    return result;
  }

  std::size_t EncryptInto(py::handle nonce, py::handle data, py::handle aad, py::handle buf) const {
    TIn n(nonce, "nonce"), d(data, "data"), a(aad, "associated_data", true);
    TOut o(buf, "buf");
    Check(n, d, a);
    const std::size_t total = d.size() + FTagBytes;
    if (o.size() != total) Raise(PyExc_ValueError, ("buffer must be " + std::to_string(total) + " bytes").c_str());
    // The cipher text may be written over the plain text; a buffer that shares some of the
    // plain text's bytes otherwise is refused by the engine.
    if (Seal(n, d, a, o.Span().data()) != 0) Raise(PyExc_ValueError, "buf overlaps data without being the same memory");
    return total;
  }

  py::object Decrypt(py::handle nonce, py::handle data, py::handle aad) const {
    TIn n(nonce, "nonce"), d(data, "data"), a(aad, "associated_data", true);
    if (d.size() < FTagBytes) {
      Traits::CheckNonce(n.size());
      Raise(InvalidTag);
    }
    Check(n, d, a, FTagBytes);
    std::uint8_t* out = nullptr;
    py::object result = NewBytes(d.size() - FTagBytes, out);
    // A mismatch leaves nothing of the plain text; the bytes object is then dropped unseen.
    if (Open(n, d, a, out) != 0) Raise(InvalidTag);
    return result;
  }

  // The plain text goes to buf only once the tag has matched: on InvalidTag buf is as it was.
  std::size_t DecryptInto(py::handle nonce, py::handle data, py::handle aad, py::handle buf) const {
    TIn n(nonce, "nonce"), d(data, "data"), a(aad, "associated_data", true);
    TOut o(buf, "buf");
    if (d.size() < FTagBytes) {
      Traits::CheckNonce(n.size());
      Raise(InvalidTag);
    }
    Check(n, d, a, FTagBytes);
    const std::size_t plainBytes = d.size() - FTagBytes;
    if (o.size() != plainBytes)
      Raise(PyExc_ValueError, ("buffer must be " + std::to_string(plainBytes) + " bytes").c_str());
    // Decrypted into a wiped scratch copy first, so a mismatch leaves the caller's buffer alone.
    TWipedBuffer scratch(plainBytes);
    if (Open(n, d, a, scratch.Value.data()) != 0) Raise(InvalidTag);
    std::copy_n(scratch.Value.begin(), plainBytes, o.Span().begin());  // (memcpy would take a null pointer for 0)
    return plainBytes;
  }

 private:
  std::unique_ptr<TKey> FKey;
  std::size_t FTagBytes;

  // The nonce and data rules of the mode; tagBytes of data are the tag when it is a cipher text.
  static void Check(const TIn& nonce, const TIn& data, const TIn& aad, std::size_t tagBytes = 0) {
    Traits::CheckNonce(nonce.size());
    if (data.size() - tagBytes > Traits::kMaxBytes || aad.size() > Traits::kMaxBytes)
      Raise(PyExc_OverflowError, Traits::kTooLong);
    Traits::CheckData(nonce.size(), data.size() - tagBytes);
  }

  int Seal(const TIn& n, const TIn& d, const TIn& a, std::uint8_t* out) const {
    return Work(d.size(), [&] {
      return Traits::Seal(*FKey, n.Span(), a.Span(), d.Span(), {out, d.size()}, {out + d.size(), FTagBytes});
    });
  }

  int Open(const TIn& n, const TIn& d, const TIn& a, std::uint8_t* out) const {
    const std::size_t plainBytes = d.size() - FTagBytes;
    return Work(d.size(), [&] {
      return Traits::Open(*FKey, n.Span(), a.Span(), d.Span().first(plainBytes), d.Span().subspan(plainBytes),
                          {out, plainBytes});
    });
  }
};

using TBytesIn = std::span<const std::uint8_t>;
using TBytesOut = std::span<std::uint8_t>;

// What most modes share: any key AES takes, 16-byte tags, no rule on the data beyond the limit.
struct TAESKeyTraits {
  using TKey = TAESKey;
  static constexpr bool kVariableTag = false;
  static constexpr std::array<long, 3> kBits{128, 192, 256};
  static constexpr const char* kBitsError = "bit_length must be 128, 192, or 256";
  static constexpr std::size_t kMaxBytes = kGCMMaxBytes;
  static constexpr const char* kTooLong = "Data or associated data too long. Max 2**36 - 32 bytes";
  static bool KeyLengthOK(std::size_t) { return true; }  // SetKey decides
  static void CheckData(std::size_t, std::size_t) {}
};

struct TGCMTraits : TAESKeyTraits {
  static constexpr const char* kKeyError = "AESGCM key must be 128, 192, or 256 bits.";
  // The nonces the usual AESGCM class accepts (the engine takes any non-empty one).
  static void CheckNonce(std::size_t n) {
    if (n < 8 || n > 128) Raise(PyExc_ValueError, "Nonce must be between 8 and 128 bytes");
  }
  static int Seal(const TKey& k, TBytesIn n, TBytesIn a, TBytesIn p, TBytesOut c, TBytesOut t) {
    return k.GCM_Seal(n, a, p, c, t);
  }
  static int Open(const TKey& k, TBytesIn n, TBytesIn a, TBytesIn c, TBytesIn t, TBytesOut p) {
    return k.GCM_Open(n, a, c, t, p);
  }
};

struct TGCMSIVTraits : TAESKeyTraits {
  // The engine keeps to the two key sizes the GCM-SIV standard defines.
  static constexpr std::array<long, 2> kBits{128, 256};
  static constexpr const char* kBitsError = "bit_length must be 128 or 256";
  static constexpr const char* kKeyError = "AES-GCM-SIV key must be 128 or 256 bits.";
  static constexpr std::size_t kMaxBytes = std::size_t{1} << 36;
  static constexpr const char* kTooLong = "Data or associated data too long. Max 2**36 bytes";
  static bool KeyLengthOK(std::size_t n) { return n == 16 || n == 32; }
  static void CheckNonce(std::size_t n) {
    if (n != 12) Raise(PyExc_ValueError, "Nonce must be 12 bytes long");
  }
  static int Seal(const TKey& k, TBytesIn n, TBytesIn a, TBytesIn p, TBytesOut c, TBytesOut t) {
    return k.GCMSIV_Seal(n, a, p, c, t);
  }
  static int Open(const TKey& k, TBytesIn n, TBytesIn a, TBytesIn c, TBytesIn t, TBytesOut p) {
    return k.GCMSIV_Open(n, a, c, t, p);
  }
};

struct TXAESTraits : TAESKeyTraits {
  using TKey = AESKeyed::TXAESKey;
  static constexpr std::array<long, 1> kBits{256};
  static constexpr const char* kBitsError = "bit_length must be 256";
  static constexpr const char* kKeyError = "XAES256GCM key must be 256 bits.";
  static void CheckNonce(std::size_t n) {
    if (n != 24) Raise(PyExc_ValueError, "Nonce must be 24 bytes long");
  }
  static int Seal(const TKey& k, TBytesIn n, TBytesIn a, TBytesIn p, TBytesOut c, TBytesOut t) {
    return k.Seal(n, a, p, c, t);
  }
  static int Open(const TKey& k, TBytesIn n, TBytesIn a, TBytesIn c, TBytesIn t, TBytesOut p) {
    return k.Open(n, a, c, t, p);
  }
};

// AES-SIV: no nonce; the associated data is a list of byte strings (or None), and the output is
// the 16-byte synthetic IV followed by the cipher text.
class TAESSIV {
 public:
  explicit TAESSIV(py::handle key) {
    TIn bytes(key, "key");
    if (FKey.SetKey(bytes.Span()) != 0) Raise(PyExc_ValueError, "AESSIV key must be 256, 384, or 512 bits.");
  }

  py::object Encrypt(py::handle data, py::handle aad) const {
    TIn d(data, "data");
    TStrings a(aad);
    std::uint8_t* out = nullptr;
    py::object result = NewBytes(d.size() + kTagBytes, out);
    if (Work(d.size(), [&] { return FKey.Seal(a.Spans(), d.Span(), {out, d.size() + kTagBytes}); }) != 0)
      Raise(PyExc_ValueError, "the arguments were refused (more than 126 associated data items?)");
    return result;
  }

  py::object Decrypt(py::handle data, py::handle aad) const {
    TIn d(data, "data");
    TStrings a(aad);
    if (d.size() < kTagBytes) Raise(InvalidTag);
    std::uint8_t* out = nullptr;
    py::object result = NewBytes(d.size() - kTagBytes, out);
    if (Work(d.size(), [&] { return FKey.Open(a.Spans(), d.Span(), {out, d.size() - kTagBytes}); }) != 0)
      Raise(InvalidTag);
    return result;
  }

 private:
  AESKeyed::TSIVKey FKey;

  // The views of a list of buffers, held while the call runs.
  class TStrings {
   public:
    explicit TStrings(py::handle list) {
      if (list.is_none()) return;
      if (!PyList_Check(list.ptr())) Raise(PyExc_TypeError, "associated_data must be a list of bytes or None");
      const Py_ssize_t n = PyList_GET_SIZE(list.ptr());
      if (n > 126) Raise(PyExc_ValueError, "Too many associated data items");
      for (Py_ssize_t i = 0; i < n; ++i) {
        FViews.push_back(std::make_unique<TIn>(PyList_GET_ITEM(list.ptr(), i), "associated_data"));
        FSpans.push_back(FViews.back()->Span());
      }
    }
    AESKeyed::TSIVKey::TStrings Spans() const { return FSpans; }

   private:
    std::vector<std::unique_ptr<TIn>> FViews;
    std::vector<std::span<const std::uint8_t>> FSpans;
  };
};

struct TCCMTraits : TAESKeyTraits {
  static constexpr bool kVariableTag = true;
  static constexpr const char* kKeyError = "AESCCM key must be 128, 192, or 256 bits.";
  static bool TagLengthOK(long t) { return t >= 4 && t <= 16 && t % 2 == 0; }
  static void CheckNonce(std::size_t n) {
    if (n < 7 || n > 13) Raise(PyExc_ValueError, "Nonce must be between 7 and 13 bytes");
  }
  // The length field holds 15 - len(nonce) bytes.
  static void CheckData(std::size_t nonceBytes, std::size_t dataBytes) {
    const std::size_t lengthBytes = 15 - nonceBytes;
    if (lengthBytes < 8 && (dataBytes >> (8 * lengthBytes)) != 0) Raise(PyExc_ValueError, "Data too long for nonce");
  }
  static int Seal(const TKey& k, TBytesIn n, TBytesIn a, TBytesIn p, TBytesOut c, TBytesOut t) {
    return k.CCM_Seal(n, a, p, c, t);
  }
  static int Open(const TKey& k, TBytesIn n, TBytesIn a, TBytesIn c, TBytesIn t, TBytesOut p) {
    return k.CCM_Open(n, a, c, t, p);
  }
};

struct TOCBTraits : TAESKeyTraits {
  static constexpr const char* kKeyError = "AESOCB3 key must be 128, 192, or 256 bits.";
  // The nonces the usual AESOCB3 class accepts (the engine takes 1 to 15 bytes).
  static void CheckNonce(std::size_t n) {
    if (n < 12 || n > 15) Raise(PyExc_ValueError, "Nonce must be between 12 and 15 bytes");
  }
  static int Seal(const TKey& k, TBytesIn n, TBytesIn a, TBytesIn p, TBytesOut c, TBytesOut t) {
    return k.OCB_Seal(n, a, p, c, t);
  }
  static int Open(const TKey& k, TBytesIn n, TBytesIn a, TBytesIn c, TBytesIn t, TBytesOut p) {
    return k.OCB_Open(n, a, c, t, p);
  }
};

struct TEAXTraits : TAESKeyTraits {
  static constexpr const char* kKeyError = "AESEAX key must be 128, 192, or 256 bits.";
  static void CheckNonce(std::size_t) {}  // any length, the empty nonce included
  static int Seal(const TKey& k, TBytesIn n, TBytesIn a, TBytesIn p, TBytesOut c, TBytesOut t) {
    return k.EAX_Seal(n, a, p, c, t);
  }
  static int Open(const TKey& k, TBytesIn n, TBytesIn a, TBytesIn c, TBytesIn t, TBytesOut p) {
    return k.EAX_Open(n, a, c, t, p);
  }
};

// --- Key wrap (the functions of the usual keywrap module): wrapping_key is the key-encryption key.

PyObject* InvalidUnwrap = nullptr;

std::unique_ptr<TAESKey> WrappingKey(py::handle wrappingKey) {
  TIn k(wrappingKey, "wrapping_key");
  auto key = std::make_unique<TAESKey>();
  if (key->SetKey(k.Span()) != 0) Raise(PyExc_ValueError, "The wrapping key must be a valid AES key length");
  return key;
}

py::object KeyWrap(py::handle wrappingKey, py::handle keyToWrap, bool padded) {
  const auto kek = WrappingKey(wrappingKey);
  TIn k(keyToWrap, "key_to_wrap");
  if (!padded && k.size() < 16) Raise(PyExc_ValueError, "The key to wrap must be at least 16 bytes");
  if (!padded && k.size() % 8 != 0) Raise(PyExc_ValueError, "The key to wrap must be a multiple of 8 bytes");
  if (padded && (k.size() == 0 || k.size() > 0xFFFFFFFFu))
    Raise(PyExc_ValueError, "key_to_wrap must be between 1 and 2^32 bytes");
  const std::size_t n = (k.size() + 7) / 8 * 8 + 8;
  std::uint8_t* out = nullptr;
  py::object result = NewBytes(n, out);
  const int st = padded ? kek->WrapKeyPadded(k.Span(), {out, n}) : kek->WrapKey(k.Span(), {out, n});
  if (st != 0) Raise(PyExc_ValueError, ("the key was refused (status " + std::to_string(st) + ")").c_str());
  return result;
}

// The unwrapped key is decrypted into wiped memory and copied out only once it checked.
py::object KeyUnwrap(py::handle wrappingKey, py::handle wrappedKey, bool padded) {
  const auto kek = WrappingKey(wrappingKey);
  TIn w(wrappedKey, "wrapped_key");
  const std::size_t least = padded ? 16 : 24;
  if (w.size() < least) Raise(InvalidUnwrap, padded ? "Must be at least 16 bytes" : "Must be at least 24 bytes");
  if (w.size() % 8 != 0) Raise(InvalidUnwrap, "The wrapped key must be a multiple of 8 bytes");
  TWipedBuffer key(w.size() - 8);
  std::size_t keyBytes = key.Value.size();
  const int st = padded ? kek->UnwrapKeyPadded(w.Span(), key.Value, keyBytes) : kek->UnwrapKey(w.Span(), key.Value);
  if (st != 0) Raise(InvalidUnwrap);
  return py::bytes(reinterpret_cast<const char*>(key.Value.data()), keyBytes);
}

// --- XTS: one data unit per call under its 16-byte tweak, as the usual cipher object's XTS mode.
class TAESXTS {
 public:
  explicit TAESXTS(py::handle key) {
    TIn k(key, "key");
    if (FKey.SetKey(k.Span()) != 0)
      Raise(PyExc_ValueError, "An XTS key must be 32, 48 or 64 bytes with two different halves");
  }

  py::object Crypt(bool encrypt, py::handle tweak, py::handle data) const {
    TIn t(tweak, "tweak"), d(data, "data");
    if (t.size() != 16) Raise(PyExc_ValueError, "tweak must be 128-bits (16 bytes)");
    if (d.size() < 16) Raise(PyExc_ValueError, "The XTS data unit must be at least 16 bytes");
    TCharArray16 tw;
    std::copy_n(t.data(), 16, tw.begin());
    std::uint8_t* out = nullptr;
    py::object result = NewBytes(d.size(), out);
    const int st = Work(d.size(), [&] {
      return encrypt ? FKey.Encrypt(tw, d.Span(), {out, d.size()}) : FKey.Decrypt(tw, d.Span(), {out, d.size()});
    });
    if (st != 0) Raise(PyExc_ValueError, "The XTS data unit must be 16 bytes to 16 MiB");
    return result;
  }

 private:
  AESKeyed::TXTSKey FKey;
};

// --- Methods called without pybind11's general dispatch: the per-call cost of the short
// messages is mostly argument handling, so the AEAD classes' encrypt, decrypt and their _into
// forms are vectorcall methods that take their arguments (by position or name) and the C++
// object directly.

// args[0..N) from positional arguments and keywords named as in names; false with TypeError set.
template <std::size_t N>
bool TakeArgs(const char* method, const std::array<const char*, N>& names, PyObject* const* args, Py_ssize_t nargs,
              PyObject* kwnames, std::array<PyObject*, N>& out) {
  out.fill(nullptr);
  if (nargs > static_cast<Py_ssize_t>(N)) {
    PyErr_Format(PyExc_TypeError, "%s() takes %zu arguments (%zd given)", method, N, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) out[static_cast<std::size_t>(i)] = args[i];
  const Py_ssize_t kw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < kw; ++k) {
    PyObject* name = PyTuple_GET_ITEM(kwnames, k);
    std::size_t i = 0;
    while (i < N && PyUnicode_CompareWithASCIIString(name, names[i]) != 0) ++i;
    if (i == N || out[i] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got %s argument '%U'", method, i == N ? "an unexpected" : "multiple values for",
                   name);
      return false;
    }
    out[i] = args[nargs + k];
  }
  for (std::size_t i = 0; i < N; ++i)
    if (out[i] == nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s'", method, names[i]);
      return false;
    }
  return true;
}

// The C++ object of a pybind11 instance of T (the descriptor has checked self's type), or null
// with TypeError set when its constructor has not run.
template <class T>
const T* SelfOf(PyObject* self) {
  static const py::detail::type_info* info = py::detail::get_type_info(typeid(T));
  auto vh = reinterpret_cast<py::detail::instance*>(self)->get_value_and_holder(info, false);
  if (!vh || !vh.holder_constructed()) {
    PyErr_SetString(PyExc_TypeError, "the object was not initialised by its constructor");
    return nullptr;
  }
  return vh.template value_ptr<T>();
}

// M: Names (the arguments) and Call(const T&, arguments) -> py::object.
template <class T, class M>
PyObject* FastMethod(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  std::array<PyObject*, M::kNames.size()> a;
  const T* obj = SelfOf<T>(self);
  if (obj == nullptr || !TakeArgs(M::kMethod, M::kNames, args, nargs, kwnames, a)) return nullptr;
  try {
    return M::Call(*obj, a).release().ptr();
  } catch (py::error_already_set& e) {
    e.restore();
  } catch (py::builtin_exception& e) {
    e.set_error();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  }
  return nullptr;
}

template <class T, class M>
void AddFastMethod(py::handle cls, const char* doc) {
  static PyMethodDef def{M::kMethod, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&FastMethod<T, M>)),
                         METH_FASTCALL | METH_KEYWORDS, doc};
  PyObject* descr = PyDescr_NewMethod(reinterpret_cast<PyTypeObject*>(cls.ptr()), &def);
  if (descr == nullptr) throw py::error_already_set();
  py::setattr(cls, M::kMethod, py::reinterpret_steal<py::object>(descr));
}

template <class T>
struct TEncryptMethod {
  static constexpr const char* kMethod = "encrypt";
  static constexpr std::array<const char*, 3> kNames{"nonce", "data", "associated_data"};
  static py::object Call(const T& o, const std::array<PyObject*, 3>& a) { return o.Encrypt(a[0], a[1], a[2]); }
};

template <class T>
struct TDecryptMethod {
  static constexpr const char* kMethod = "decrypt";
  static constexpr std::array<const char*, 3> kNames{"nonce", "data", "associated_data"};
  static py::object Call(const T& o, const std::array<PyObject*, 3>& a) { return o.Decrypt(a[0], a[1], a[2]); }
};

template <class T>
struct TEncryptIntoMethod {
  static constexpr const char* kMethod = "encrypt_into";
  static constexpr std::array<const char*, 4> kNames{"nonce", "data", "associated_data", "buf"};
  static py::object Call(const T& o, const std::array<PyObject*, 4>& a) {
    return py::int_(o.EncryptInto(a[0], a[1], a[2], a[3]));
  }
};

template <class T>
struct TDecryptIntoMethod {
  static constexpr const char* kMethod = "decrypt_into";
  static constexpr std::array<const char*, 4> kNames{"nonce", "data", "associated_data", "buf"};
  static py::object Call(const T& o, const std::array<PyObject*, 4>& a) {
    return py::int_(o.DecryptInto(a[0], a[1], a[2], a[3]));
  }
};

template <class Traits>
py::class_<TAEAD<Traits>> BindAEAD(py::module_& m, const char* name, const char* doc, const char* keyDoc) {
  using T = TAEAD<Traits>;
  py::class_<T> c(m, name, doc);
  if constexpr (Traits::kVariableTag)
    c.def(py::init([](py::handle key, py::handle tagLength) {
            if (!PyLong_Check(tagLength.ptr())) Raise(PyExc_TypeError, "tag_length must be an integer");
            const long t = PyLong_AsLong(tagLength.ptr());
            if (t == -1 && PyErr_Occurred()) PyErr_Clear();
            if (!Traits::TagLengthOK(t)) Raise(PyExc_ValueError, "Invalid tag_length");
            return T(key, static_cast<std::size_t>(t));
          }),
          py::arg("key"), py::arg("tag_length") = 16, keyDoc);
  else
    c.def(py::init<py::handle>(), py::arg("key"), keyDoc);
  c.def_static(
      "generate_key", [](py::handle bits) { return GenerateKey(bits, Traits::kBits, Traits::kBitsError); },
      py::arg("bit_length"), "A random key of one of the bit lengths the class takes.");
  AddFastMethod<T, TEncryptIntoMethod<T>>(c, "encrypt_into($self, nonce, data, associated_data, buf)\n--\n\n"
                                             "Writes the cipher text and tag into buf (exactly len(data) + tag "
                                             "bytes); returns the bytes written.");
  AddFastMethod<T, TDecryptIntoMethod<T>>(c, "decrypt_into($self, nonce, data, associated_data, buf)\n--\n\n"
                                             "Writes the plain text into buf (exactly len(data) - tag bytes) once the "
                                             "tag matched; on InvalidTag buf is left as it was. Returns the bytes "
                                             "written.");
  AddFastMethod<T, TEncryptMethod<T>>(c, "encrypt($self, nonce, data, associated_data)\n--\n\n"
                                         "Returns the cipher text followed by the 16-byte tag; associated_data may be None.");
  AddFastMethod<T, TDecryptMethod<T>>(c, "decrypt($self, nonce, data, associated_data)\n--\n\n"
                                         "Returns the plain text of data (cipher text and tag); raises InvalidTag when "
                                         "the tag does not match.");
  return c;
}

// --- CMAC

class TCMAC {
 public:
  explicit TCMAC(py::handle key)
      : FKey(MakeKey(key, "Invalid key size for AES: 128, 192 or 256 bits.")),
        FMac(std::make_unique<AESKeyed::TMACGenerator>(*FKey)) {}
  TCMAC(std::shared_ptr<TAESKey> key, const AESKeyed::TMACGenerator& mac)
      : FKey(std::move(key)), FMac(std::make_unique<AESKeyed::TMACGenerator>(mac)) {}

  void Update(py::handle data) {
    Live();
    TIn d(data, "data");
    if (d.size() < kReleaseGIL) {
      FMac->Update(d.Span());
      return;
    }
    // Without the lock another thread may reach this object: it finds it busy (below) instead
    // of changing or freeing the state this update works on.
    FBusy = true;
    Work(d.size(), [&] { return FMac->Update(d.Span()); });
    FBusy = false;
  }

  py::object Finalize() {
    Live();
    std::uint8_t* out = nullptr;
    py::object tag = NewBytes(kTagBytes, out);
    FMac->Finish({out, kTagBytes});
    FMac.reset();
    return tag;
  }

  // Raises InvalidSignature when signature is not the tag (all 16 bytes, compared in constant time).
  void Verify(py::handle signature) {
    Live();
    TIn s(signature, "signature");
    const bool ok = s.size() == kTagBytes && FMac->Verify(s.Span()) == 0;
    FMac.reset();
    if (!ok) Raise(InvalidSignature, "Signature did not match digest.");
  }

  TCMAC Copy() const {
    Live();
    return TCMAC(FKey, *FMac);
  }

 private:
  std::shared_ptr<TAESKey> FKey;  // shared by copies
  std::unique_ptr<AESKeyed::TMACGenerator> FMac;  // null once finalized
  bool FBusy = false;  // an update runs without the interpreter's lock (read and set under it)

  void Live() const {
    if (FBusy) Raise(PyExc_RuntimeError, "CMAC context in use by another thread");
    if (!FMac) Raise(AlreadyFinalized, "Context was already finalized.");
  }
};

// --- The block modes, without padding (as a cipher context of the usual module gives them).

enum class TMode { ECB, CBC, OFB, CTR, CFB, CFB8 };

template <TMode M>
class TBlockMode {
 public:
  explicit TBlockMode(py::handle key) : FKey(MakeKey(key, "Invalid key size for AES: 128, 192 or 256 bits.")) {}

  py::object Crypt(bool encrypt, py::handle iv, py::handle data) const {
    TIn d(data, "data");
    const TCharArray16 v = IV(iv);
    CheckLength(d.size());
    std::uint8_t* out = nullptr;
    py::object result = NewBytes(d.size(), out);
    Run(encrypt, v, d, {out, d.size()});
    return result;
  }

  std::size_t CryptInto(bool encrypt, py::handle iv, py::handle data, py::handle buf) const {
    TIn d(data, "data");
    TOut o(buf, "buf");
    const TCharArray16 v = IV(iv);
    CheckLength(d.size());
    if (o.size() != d.size()) Raise(PyExc_ValueError, ("buffer must be " + std::to_string(d.size()) + " bytes").c_str());
    if (Run(encrypt, v, d, o.Span()) != 0) Raise(PyExc_ValueError, "buf overlaps data without being the same memory");
    return d.size();
  }

 private:
  std::unique_ptr<TAESKey> FKey;

  static TCharArray16 IV(py::handle iv) {
    TCharArray16 v{};
    if (M == TMode::ECB) return v;
    TIn i(iv, M == TMode::CTR ? "nonce" : "initialization_vector");
    if (i.size() != 16) Raise(PyExc_ValueError, ("Invalid IV size (" + std::to_string(i.size()) + ") for this mode.").c_str());
    std::memcpy(v.data(), i.data(), 16);
    return v;
  }

  static void CheckLength(std::size_t n) {
    if ((M == TMode::ECB || M == TMode::CBC) && n % 16 != 0)
      Raise(PyExc_ValueError, "The length of the provided data is not a multiple of the block length.");
  }

  int Run(bool encrypt, TCharArray16 v, const TIn& d, std::span<std::uint8_t> out) const {
    return Work(d.size(), [&] {
      switch (M) {
        case TMode::ECB: return encrypt ? FKey->EncryptECB(d.Span(), out) : FKey->DecryptECB(d.Span(), out);
        case TMode::CBC: return encrypt ? FKey->EncryptCBC(d.Span(), out, v) : FKey->DecryptCBC(d.Span(), out, v);
        case TMode::OFB: return FKey->CryptOFB(d.Span(), out, v);
        case TMode::CTR: return FKey->CryptCTR(d.Span(), out, v);
        case TMode::CFB: return encrypt ? FKey->EncryptCFB(d.Span(), out, v) : FKey->DecryptCFB(d.Span(), out, v);
        case TMode::CFB8: return encrypt ? FKey->EncryptCFB8(d.Span(), out, v) : FKey->DecryptCFB8(d.Span(), out, v);
      }
      return 0;
    });
  }
};

template <TMode M>
void BindBlockMode(py::module_& m, const char* name, const char* doc) {
  using T = TBlockMode<M>;
  auto c = py::class_<T>(m, name, doc).def(py::init<py::handle>(), py::arg("key"));
  if constexpr (M == TMode::ECB) {
    c.def("encrypt", [](const T& s, py::handle d) { return s.Crypt(true, py::none(), d); }, py::arg("data"),
          "Encrypts whole blocks (len(data) a multiple of 16); returns bytes.");
    c.def("decrypt", [](const T& s, py::handle d) { return s.Crypt(false, py::none(), d); }, py::arg("data"),
          "Decrypts whole blocks; returns bytes.");
    c.def("encrypt_into", [](const T& s, py::handle d, py::handle b) { return s.CryptInto(true, py::none(), d, b); },
          py::arg("data"), py::arg("buf"), "Encrypts into buf (exactly len(data) bytes, may be data itself).");
    c.def("decrypt_into", [](const T& s, py::handle d, py::handle b) { return s.CryptInto(false, py::none(), d, b); },
          py::arg("data"), py::arg("buf"), "Decrypts into buf (exactly len(data) bytes, may be data itself).");
  } else {
    const char* ivName = M == TMode::CTR ? "nonce" : "iv";
    c.def("encrypt", [](const T& s, py::handle i, py::handle d) { return s.Crypt(true, i, d); }, py::arg(ivName),
          py::arg("data"), "Encrypts data under the 16-byte iv; returns bytes.");
    c.def("decrypt", [](const T& s, py::handle i, py::handle d) { return s.Crypt(false, i, d); }, py::arg(ivName),
          py::arg("data"), "Decrypts data under the 16-byte iv; returns bytes.");
    c.def("encrypt_into", [](const T& s, py::handle i, py::handle d, py::handle b) { return s.CryptInto(true, i, d, b); },
          py::arg(ivName), py::arg("data"), py::arg("buf"),
          "Encrypts into buf (exactly len(data) bytes, may be data itself); returns the bytes written.");
    c.def("decrypt_into", [](const T& s, py::handle i, py::handle d, py::handle b) { return s.CryptInto(false, i, d, b); },
          py::arg(ivName), py::arg("data"), py::arg("buf"),
          "Decrypts into buf (exactly len(data) bytes, may be data itself); returns the bytes written.");
  }
}

PyObject* NewException(py::module_& m, const char* name, const char* doc) {
  const std::string full = std::string("orvoaes.") + name;
  PyObject* type = PyErr_NewExceptionWithDoc(full.c_str(), doc, nullptr, nullptr);
  if (type == nullptr) throw py::error_already_set();
  m.add_object(name, py::handle(type));
  return type;
}

}  // namespace

// --- Chunked encryption: a key (16 bytes: Cobblestone-128, 32: Cobblestone-256) and a context;
// one-shot over buffers, files by path, an encryptor and a decryptor fed in pieces, and a
// random-access reader of a file. Every refusal of a cipher text (another key or context, a
// changed, moved or dropped chunk, a cut message) is InvalidTag; files that cannot be read or
// written are OSError.

[[noreturn]] void RaiseChunked(int st) {
  if (st == error::kTagMismatch || st == error::kChunkCommitment || st == error::kChunkTruncated ||
      st == error::kChunkTooLong)
    Raise(InvalidTag);
  if (st == error::kFileOpenFailed || st == error::kShortWrite) {
    const std::string text = platform::ToUTF8String(error::GetErrorMessage(st));
    Raise(PyExc_OSError, text.c_str());
  }
  Raise(PyExc_ValueError, ("the arguments were refused (status " + std::to_string(st) + ")").c_str());
}

// A path argument (str or os.PathLike) as the library's text.
platform::string PathOf(py::handle path) {
  py::object p = py::module_::import("os").attr("fspath")(path);
  if (!PyUnicode_Check(p.ptr())) Raise(PyExc_TypeError, "paths are given as str or os.PathLike of str");
  return platform::FromUTF8(p.cast<std::string>());
}

class TChunked;

class TChunkedEncryptor {
 public:
  TChunkedEncryptor(const AESChunked::TParams& p, const TIn& salt) {
    FHeader.resize(AESChunked::kHeaderBytes);
    if (const int st = FEnc.Begin(p, FHeader, salt.Span())) RaiseChunked(st);
  }
  // The header (before the first chunk) and the chunks data completes.
  py::bytes Update(py::handle data) {
    Live();
    TIn d(data, "data");
    std::vector<std::uint8_t> out(FHeader.size() + FEnc.UpdateRoom(d.size()));
    std::copy(FHeader.begin(), FHeader.end(), out.begin());
    std::size_t written = 0;
    const int st = Work(d.size(), [&] { return FEnc.Update(d.Span(), std::span(out).subspan(FHeader.size()), written); });
    if (st != 0) RaiseChunked(st);
    const std::size_t n = FHeader.size() + written;
    FHeader.clear();
    return py::bytes(reinterpret_cast<const char*>(out.data()), n);
  }
  py::bytes Finalize() {
    Live();
    std::vector<std::uint8_t> out(FHeader.size() + FEnc.FinishRoom());
    std::copy(FHeader.begin(), FHeader.end(), out.begin());
    std::size_t written = 0;
    if (const int st = FEnc.Finish(std::span(out).subspan(FHeader.size()), written)) RaiseChunked(st);
    FDone = true;
    return py::bytes(reinterpret_cast<const char*>(out.data()), FHeader.size() + written);
  }

 private:
  AESChunked::TEncryptor FEnc;
  std::vector<std::uint8_t> FHeader;  // until the first output
  bool FDone = false;
  void Live() const {
    if (FDone) Raise(AlreadyFinalized, "Context was already finalized.");
  }
};

class TChunkedDecryptor {
 public:
  explicit TChunkedDecryptor(const AESChunked::TParams& p) {
    if (const int st = FDec.Begin(p)) RaiseChunked(st);
  }
  // The plain text of the chunks data completes and that opened.
  py::bytes Update(py::handle data) {
    Live();
    TIn d(data, "data");
    TWipedBuffer out(FDec.UpdateRoom(d.size()));
    std::size_t written = 0;
    const int st = Work(d.size(), [&] { return FDec.Update(d.Span(), out.Value, written); });
    if (st != 0) RaiseChunked(st);
    return py::bytes(reinterpret_cast<const char*>(out.Value.data()), written);
  }
  py::bytes Finalize() {
    Live();
    TWipedBuffer out(FDec.FinishRoom());
    std::size_t written = 0;
    FDone = true;
    if (const int st = FDec.Finish(out.Value, written)) RaiseChunked(st);
    return py::bytes(reinterpret_cast<const char*>(out.Value.data()), written);
  }

 private:
  AESChunked::TDecryptor FDec;
  bool FDone = false;
  void Live() const {
    if (FDone) Raise(AlreadyFinalized, "Context was already finalized.");
  }
};

class TChunkedReader {
 public:
  TChunkedReader(const AESChunked::TParams& p, const platform::string& path) {
    int st = 0;
    try {
      FFile = std::make_unique<platform::TFileStream>(path, platform::TFileMode::fmOpenRead);
      st = FReader.Open(p, FFile.get());
    } catch (const std::bad_alloc&) {
      throw;
    } catch (...) {
      st = error::kFileOpenFailed;
    }
    if (st != 0) RaiseChunked(st);
  }
  std::uint64_t Size() {
    std::uint64_t n = 0;
    if (const int st = Guarded([&] { return FReader.Size(n); })) RaiseChunked(st);
    return n;
  }
  py::object ReadAt(std::uint64_t offset, std::size_t n) {
    std::vector<std::uint8_t> out(n);
    std::size_t got = 0;
    if (const int st = Guarded([&] { return FReader.ReadAt(offset, out, got); })) RaiseChunked(st);
    return py::bytes(reinterpret_cast<const char*>(out.data()), got);
  }

 private:
  std::unique_ptr<platform::TFileStream> FFile;  // before the reader, which reads it
  AESChunked::TReader FReader;
  template <class F>
  int Guarded(F&& f) {
    try {
      return f();
    } catch (const std::bad_alloc&) {
      throw;
    } catch (...) {
      return error::kFileOpenFailed;
    }
  }
};

class TChunked {
 public:
  TChunked(py::handle key, py::handle context) {
    TIn k(key, "key"), c(context, "context", true);
    if (k.size() != 16 && k.size() != 32) Raise(PyExc_ValueError, "Chunked key must be 128 or 256 bits.");
    FKey.Value.assign(k.data(), k.data() + k.size());
    FContext.assign(c.data(), c.data() + c.size());
  }

  py::object Encrypt(py::handle data, py::handle salt) const {
    TIn d(data, "data"), s(salt, "salt", true);
    CheckSalt(s);
    const std::uint64_t n = AESChunked::CipherBytes(d.size());
    if (n == 0) Raise(PyExc_OverflowError, "data too long");
    std::uint8_t* out = nullptr;
    py::object result = NewBytes(n, out);
    const int st = Work(d.size(), [&] { return AESChunked::Encrypt(Params(), d.Span(), {out, n}, s.Span()); });
    if (st != 0) RaiseChunked(st);
    return result;
  }

  py::object Decrypt(py::handle data) const {
    TIn d(data, "data");
    std::uint64_t n = 0;
    if (const int st = AESChunked::PlainBytes(d.size(), n)) RaiseChunked(st);
    std::uint8_t* out = nullptr;
    py::object result = NewBytes(n, out);
    const int st = Work(d.size(), [&] { return AESChunked::Decrypt(Params(), d.Span(), {out, n}); });
    if (st != 0) RaiseChunked(st);  // what was written is zeroed, and the bytes object dropped
    return result;
  }

  void CryptFile(bool encrypt, py::handle input, py::handle output, unsigned threads) const {
    const platform::string in = PathOf(input), out = PathOf(output);
    if (threads < 1 || threads > 64) Raise(PyExc_ValueError, "threads must be 1 to 64");
    int st = 0;
    {
      py::gil_scoped_release unlocked;
      try {
        st = encrypt ? AESChunked::EncryptFile(Params(), in, out, {threads, {}})
                     : AESChunked::DecryptFile(Params(), in, out, {threads, {}});
      } catch (const std::bad_alloc&) {
        st = error::kAllocationFailed;
      } catch (...) {
        st = error::kFileOpenFailed;
      }
    }
    if (st == error::kAllocationFailed) throw std::bad_alloc();
    if (st != 0) RaiseChunked(st);
  }

  std::unique_ptr<TChunkedEncryptor> Encryptor(py::handle salt) const {
    TIn s(salt, "salt", true);
    CheckSalt(s);
    return std::make_unique<TChunkedEncryptor>(Params(), s);
  }
  std::unique_ptr<TChunkedDecryptor> Decryptor() const { return std::make_unique<TChunkedDecryptor>(Params()); }
  std::unique_ptr<TChunkedReader> Reader(py::handle path) const {
    return std::make_unique<TChunkedReader>(Params(), PathOf(path));
  }

 private:
  TWipedBuffer FKey{0};  // (assigned once, from empty: no earlier copy to wipe)
  std::vector<std::uint8_t> FContext;

  AESChunked::TParams Params() const {
    return {FKey.Value.size() == 32 ? AESChunked::TSuite::Cobblestone256 : AESChunked::TSuite::Cobblestone128,
            FKey.Value, FContext};
  }
  static void CheckSalt(const TIn& s) {
    if (s.size() != 0 && s.size() != AESChunked::kSaltBytes)
      Raise(PyExc_ValueError, "salt must be None or 24 bytes (and never used twice with one key)");
  }
};

void BindChunked(py::module_& m) {
  py::class_<TChunkedEncryptor>(m, "ChunkedEncryptor", "A chunked message encrypted in pieces.")
      .def("update", &TChunkedEncryptor::Update, py::arg("data"),
           "Returns the header (first call) and the sealed chunks data completes.")
      .def("finalize", &TChunkedEncryptor::Finalize, "Returns the last, short chunk and ends the message.");
  py::class_<TChunkedDecryptor>(m, "ChunkedDecryptor", "A chunked message decrypted in pieces.")
      .def("update", &TChunkedDecryptor::Update, py::arg("data"),
           "Returns the plain text of the chunks data completes, each authenticated; InvalidTag on a failure "
           "(what was returned before was authentic as far as it went: discard it).")
      .def("finalize", &TChunkedDecryptor::Finalize, "Opens the last chunk; InvalidTag for a cut message.");
  py::class_<TChunkedReader>(m, "ChunkedReader", "Random access to a chunked message in a file.")
      .def("size", &TChunkedReader::Size, "The plain text's length (authenticated).")
      .def("read_at", &TChunkedReader::ReadAt, py::arg("offset"), py::arg("n"),
           "Up to n bytes at offset (fewer only at the end), opening only the chunks that hold them.");
  py::class_<TChunked>(m, "Chunked",
                       "Chunked encryption v1 (Cobblestone-128 with a 16-byte key, -256 with a 32-byte key): "
                       "16 KiB chunks of AES-GCM under per-message keys, committed to the key and context.")
      .def(py::init<py::handle, py::handle>(), py::arg("key"), py::arg("context") = py::bytes())
      .def("encrypt", &TChunked::Encrypt, py::arg("data"), py::arg("salt") = py::none(),
           "salt: None (drawn fresh; always, except for tests) or 24 bytes.")
      .def("decrypt", &TChunked::Decrypt, py::arg("data"), "InvalidTag for any refused cipher text.")
      .def("encrypt_file",
           [](const TChunked& c, py::handle i, py::handle o, unsigned t) { c.CryptFile(true, i, o, t); },
           py::arg("input_path"), py::arg("output_path"), py::arg("threads") = 1,
           "The output is replaced whole or not at all (it may be the input).")
      .def("decrypt_file",
           [](const TChunked& c, py::handle i, py::handle o, unsigned t) { c.CryptFile(false, i, o, t); },
           py::arg("input_path"), py::arg("output_path"), py::arg("threads") = 1,
           "Every chunk is authenticated before the output is replaced.")
      .def("encryptor", &TChunked::Encryptor, py::arg("salt") = py::none())
      .def("decryptor", &TChunked::Decryptor)
      .def("reader", &TChunked::Reader, py::arg("path"));
}

PYBIND11_MODULE(orvoaes, m) {
  m.doc() =
      "AES from the OrvoAES library: AESGCM, CMAC and the block modes, with the constructors, methods "
      "and exceptions of cryptography's classes. Inputs are any buffer-protocol object (not copied); "
      "the GIL is released for inputs of 4096 bytes or more.";
  m.attr("__version__") = ORVOAES_VERSION_STRING;
  m.attr("GIL_RELEASE_THRESHOLD") = kReleaseGIL;
  InvalidTag = NewException(m, "InvalidTag", "Authentication failed: the tag does not match (nothing is released).");
  InvalidSignature = NewException(m, "InvalidSignature", "The CMAC tag does not match.");
  AlreadyFinalized = NewException(m, "AlreadyFinalized", "The context was already finalized.");

  BindAEAD<TGCMTraits>(m, "AESGCM", "AES-GCM with a 16-byte tag; the key is expanded once, at construction.",
                       "key: 16, 24 or 32 bytes (ValueError otherwise). Nonces of 8 to 128 bytes.");
  BindAEAD<TGCMSIVTraits>(m, "AESGCMSIV", "AES-GCM-SIV (nonce-misuse resistant) with a 16-byte tag.",
                          "key: 16 or 32 bytes (ValueError otherwise; the standard defines no 24-byte form). "
                          "Nonces of 12 bytes.");
  BindAEAD<TXAESTraits>(m, "XAES256GCM", "XAES-256-GCM: AES-256-GCM under a key derived per 24-byte nonce, so "
                                         "random nonces are safe for any number of messages.",
                        "key: 32 bytes. Nonces of 24 bytes.");
  py::class_<TAESSIV>(m, "AESSIV", "AES-SIV (deterministic authenticated encryption); output: SIV then cipher text.")
      .def(py::init<py::handle>(), py::arg("key"), "key: 32, 48 or 64 bytes (two AES keys).")
      .def_static(
          "generate_key",
          [](py::handle bits) {
            return GenerateKey(bits, std::array<long, 3>{256, 384, 512}, "bit_length must be 256, 384, or 512");
          },
          py::arg("bit_length"), "A random key of 256, 384 or 512 bits.")
      .def("encrypt", &TAESSIV::Encrypt, py::arg("data"), py::arg("associated_data"),
           "associated_data: a list of bytes-like objects (at most 126) or None.")
      .def("decrypt", &TAESSIV::Decrypt, py::arg("data"), py::arg("associated_data"),
           "Raises InvalidTag when the synthetic IV does not match.");
  BindAEAD<TCCMTraits>(m, "AESCCM", "AES-CCM; tag_length 4 to 16 bytes and even (16 by default).",
                       "key: 16, 24 or 32 bytes. Nonces of 7 to 13 bytes; the data must be countable in "
                       "15 - len(nonce) bytes.");
  BindAEAD<TOCBTraits>(m, "AESOCB3", "AES-OCB3 with a 16-byte tag.", "key: 16, 24 or 32 bytes. Nonces of 12 to 15 bytes.");
  BindAEAD<TEAXTraits>(m, "AESEAX", "AES-EAX with a 16-byte tag.", "key: 16, 24 or 32 bytes. Nonces of any length.");
  py::class_<TAESXTS>(m, "AESXTS", "XTS-AES: one data unit (16 bytes to 16 MiB) per call under a 16-byte tweak.")
      .def(py::init<py::handle>(), py::arg("key"), "key: 32, 48 or 64 bytes whose halves differ.")
      .def("encrypt", [](const TAESXTS& x, py::handle t, py::handle d) { return x.Crypt(true, t, d); }, py::arg("tweak"),
           py::arg("data"), "The data unit enciphered; as long as data.")
      .def("decrypt", [](const TAESXTS& x, py::handle t, py::handle d) { return x.Crypt(false, t, d); }, py::arg("tweak"),
           py::arg("data"), "The data unit deciphered; as long as data.");
  InvalidUnwrap = NewException(m, "InvalidUnwrap", "Key unwrapping failed: a damaged wrapping or another key.");
  m.def("aes_key_wrap", [](py::handle w, py::handle k, py::handle) { return KeyWrap(w, k, false); },
        py::arg("wrapping_key"), py::arg("key_to_wrap"), py::arg("backend") = py::none(), "AES key wrap (RFC 3394).");
  m.def("aes_key_unwrap", [](py::handle w, py::handle k, py::handle) { return KeyUnwrap(w, k, false); },
        py::arg("wrapping_key"), py::arg("wrapped_key"), py::arg("backend") = py::none(),
        "AES key unwrap (RFC 3394); InvalidUnwrap when the check fails.");
  m.def("aes_key_wrap_with_padding", [](py::handle w, py::handle k, py::handle) { return KeyWrap(w, k, true); },
        py::arg("wrapping_key"), py::arg("key_to_wrap"), py::arg("backend") = py::none(),
        "AES key wrap with padding (RFC 5649).");
  m.def("aes_key_unwrap_with_padding", [](py::handle w, py::handle k, py::handle) { return KeyUnwrap(w, k, true); },
        py::arg("wrapping_key"), py::arg("wrapped_key"), py::arg("backend") = py::none(),
        "AES key unwrap with padding (RFC 5649); InvalidUnwrap when the check fails.");

  py::class_<TCMAC>(m, "CMAC", "AES-CMAC of a message fed in pieces.")
      .def(py::init<py::handle>(), py::arg("algorithm"),
           "algorithm: the key (16, 24 or 32 bytes), or an object with the key in its 'key' attribute "
           "(such as cryptography's algorithms.AES).")
      .def("update", &TCMAC::Update, py::arg("data"), "Absorbs data; AlreadyFinalized after finalize or verify.")
      .def("finalize", &TCMAC::Finalize, "Returns the 16-byte tag and ends the context.")
      .def("verify", &TCMAC::Verify, py::arg("signature"),
           "Raises InvalidSignature unless signature is the 16-byte tag; ends the context.")
      .def("copy", &TCMAC::Copy, "An independent context that continues the same message.");

  BindChunked(m);
  BindBlockMode<TMode::ECB>(m, "AESECB", "AES in ECB mode, no padding.");
  BindBlockMode<TMode::CBC>(m, "AESCBC", "AES in CBC mode, no padding.");
  BindBlockMode<TMode::OFB>(m, "AESOFB", "AES in OFB mode (any length).");
  BindBlockMode<TMode::CFB>(m, "AESCFB", "AES in CFB mode with 128-bit feedback (any length).");
  BindBlockMode<TMode::CFB8>(m, "AESCFB8", "AES in CFB mode with 8-bit feedback (any length).");
  BindBlockMode<TMode::CTR>(m, "AESCTR", "AES in CTR mode: the 16-byte nonce is the counter block, all 128 bits "
                                         "counted big-endian (any length).");
}
