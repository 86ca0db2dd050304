#include "app/Commands.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <new>

#include "crypto/support/error.h"
#include "crypto/support/errorlist.h"
#include "platform/Files.h"

namespace Commands {

namespace {

// Which file a failure concerns and what went wrong with it, in words.
struct TFailure {
  std::u16string_view File;     // empty: the failure concerns no one file
  std::u16string_view Problem;  // "cannot be read"
  string Detail;                // what the library said
  string Meaning;               // what it most likely means
};

string Printf(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return platform::FromUTF8(text);
}

TFailure FromStatus(const TCommand& c, Integer code) {
  const string text = error::GetErrorMessage(code);
  switch (code) {
    case error::kBadPadding:
    case error::kBadCipherLength:
      return {c.Input, u"cannot be decrypted", text, u"The file is damaged, or it was not made with this key."};
    case error::kFileOpenFailed:
      return {c.Input, u"cannot be read", text, u"The file may be missing, unreadable or not a regular file."};
    case error::kShortWrite:
      return {c.Output, u"cannot be written", text,
              u"The disk may be full, or the file larger than this system allows."};
    default:
      return {{}, {}, text, {}};
  }
}

TFailure Classify(const TCommand& c, const string& dir, std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const platform::EFOpenError& e) {
    // The message names the file that could not be opened or created.
    if (e.Message().find(dir + string(c.Input)) != string::npos)
      return {c.Input, u"cannot be opened", e.Message(),
              u"Check that " + string(c.Input) + u" is in " + FolderOf(dir) + u" and that you may read it."};
    return {c.Output, u"cannot be created", e.Message(), u"Check that you may write in " + FolderOf(dir) + u"."};
  } catch (const platform::EReadError& e) {
    return {c.Input, u"cannot be read", e.Message(), u"The disk or the file may be faulty."};
  } catch (const platform::EWriteError& e) {
    return {c.Output, u"cannot be written", e.Message(),
            u"The disk may be full, or the file larger than this system allows."};
  } catch (const errorlist::ESelvane& e) {
    const Integer code = e.Code();
    if (code == 0) return {{}, {}, e.Message(), {}};
    TFailure f = FromStatus(c, code);
    f.Detail = e.Message() + u" (" + f.Detail + u")";
    return f;
  } catch (const platform::Exception& e) {
    return {{}, {}, e.Message(), {}};
  } catch (const std::bad_alloc&) {
    return {{}, {}, u"Not enough memory.", {}};
  } catch (const std::exception& e) {
    return {{}, {}, platform::DecodeFileSystemText(e.what()), {}};
  } catch (...) {
    return {{}, {}, u"An unknown error occurred.", {}};
  }
}

TOutcome Failed(const TCommand& c, const TFailure& f) {
  const string caption(c.Caption);
  const string what = f.File.empty() ? string() : string(f.File) + u" " + string(f.Problem);
  TOutcome out;
  out.Result = TResult::Failed;
  out.Status = caption + u" failed" + (what.empty() ? string() : u": " + what);
  out.Message = caption + u": " + (what.empty() ? string() : what + u": ") + f.Detail + u"\n" +
                (f.Meaning.empty() ? string() : f.Meaning + u" ") + string(c.Output) + u" was left as it was.";
  return out;
}

TOutcome Succeeded(const TCommand& c, const string& dir, double seconds) {
  const string output = dir + string(c.Output);
  const platform::TFileHandle file(platform::FileOpen(output, platform::TFileAccess::Read));
  const std::int64_t size = file.Valid() ? platform::FileSize(file.Get()) : -1;
  TOutcome out;
  out.Result = TResult::Succeeded;
  out.Status = string(c.Output) + u" written in " + FolderOf(dir) + u" (" +
               (size < 0 ? string(u"size unknown") : FormatSize(size)) + u", " + Printf("%.2f s", seconds) + u")";
  return out;
}

// Clears the component's chunk progress on every way out, so no callback outlives the run.
struct TProgressScope {
  AESObj::TAESEncryption& Component;
  TProgressScope(AESObj::TAESEncryption& component, platform::TChunkProgress progress) : Component(component) {
    Component.SetChunkProgress(std::move(progress));
  }
  ~TProgressScope() { Component.SetChunkProgress({}); }
};

}  // namespace

TOutcome RunCommand(const TCommand& command, const string& dir, AESObj::TAESEncryption& component,
                    platform::TChunkProgress progress) noexcept {
  try {
    const TProgressScope scope(component, std::move(progress));
    const auto start = std::chrono::steady_clock::now();
    const Integer status = command.Run(dir, component);
    if (status != 0) return Failed(command, FromStatus(command, status));
    return Succeeded(command, dir, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  } catch (const platform::EAbort&) {
    TOutcome out;
    out.Result = TResult::Cancelled;
    out.Status = string(command.Caption) + u" cancelled; " + string(command.Output) + u" was left as it was";
    out.Message = out.Status;
    return out;
  } catch (...) {
    try {
      return Failed(command, Classify(command, dir, std::current_exception()));
    } catch (...) {  // no memory left even for the message
      return {};
    }
  }
}

string FolderOf(const string& dir) { return dir.size() > 1 && dir.back() == u'/' ? dir.substr(0, dir.size() - 1) : dir; }

string FormatSize(std::int64_t bytes) {
  if (bytes < 1000) return platform::IntToStr(bytes) + (bytes == 1 ? u" byte" : u" bytes");
  constexpr const char* units[] = {"%.1f kB", "%.1f MB", "%.1f GB", "%.1f TB"};
  double value = static_cast<double>(bytes) / 1000;
  std::size_t unit = 0;
  // Rounding to one decimal may carry into the next unit (999.95 kB is 1.0 MB).
  while (value >= 999.95 && unit + 1 < std::size(units)) value /= 1000, ++unit;
  return Printf(units[unit], value);
}

}  // namespace Commands
