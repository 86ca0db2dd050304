#include "app/Unit1.h"

#include <utility>

#include "app/FormLoader.h"
#include "crypto/support/MiscObj.h"
#include "platform/Files.h"
#include "platform/StoredDescription.h"

namespace Unit1 {

namespace {

using platform::EStoredDescriptionError;

constexpr std::pair<std::string_view, void (TForm3::*)(platform::TObject*)> kPublishedMethods[] = {
    {"Button1Click", &TForm3::Button1Click},
    {"Button2Click", &TForm3::Button2Click},
};

template <class T>
T& Bound(T* field, const platform::TStoredObject& form, std::u16string_view name) {
  if (!field)
    throw EStoredDescriptionError(platform::DescriptionErrorPrefix(form) + u"no " + string(name) +
                                  u" of the expected class");
  return *field;
}

// TButton has no meta-object of its own, so its class is checked with dynamic_cast.
Controls::TButton* FindButton(const QWidget& window, std::u16string_view name) {
  return dynamic_cast<Controls::TButton*>(
      window.findChild<QPushButton*>(QString::fromStdU16String(string(name)), Qt::FindDirectChildrenOnly));
}

AESObj::TAESEncryption* FindAESEncryption1(const platform::TComponent& owner) {
  return dynamic_cast<AESObj::TAESEncryption*>(owner.FindComponent(u"AESEncryption1"));
}

}  // namespace

string ExecutableDirectory() { return platform::ExtractFilePath(platform::GetModuleFileName()); }

void CreateAes(const string& dir, AESObj::TAESEncryption& component) {
  component.EncryptFileW(dir + u"test.txt", dir + u"test.aes");
}

void RestoreAes(const string& dir, AESObj::TAESEncryption& component) {
  const platform::Integer status = component.DecryptFileW(dir + u"test.aes", dir + u"test_restore.txt");
  if (status != 0) throw MiscObj::ESelvane(status);
}

AESObj::TAESEncryption& LoadAESEncryption1(platform::TComponent& AOwner, std::string_view description) {
  const platform::TStoredObject form = platform::ParseStoredDescription(description);
  FormLoader::LoadComponents(form, AOwner);
  return Bound(FindAESEncryption1(AOwner), form, u"AESEncryption1");
}

TForm3::TForm3(TDirectorySource directory, std::string_view description) : FDirectory(std::move(directory)) {
  const platform::TStoredObject form = platform::ParseStoredDescription(description);
  if (form.ClassName != "TForm3")
    throw EStoredDescriptionError(platform::DescriptionErrorPrefix(form) + u"the main window's class is TForm3");
  Name = form.Name;
  FormLoader::LoadForm(form, *this, *this, [this](std::string_view name) { return PublishedMethod(name); });
  Button1 = &Bound(FindButton(*this, u"Button1"), form, u"Button1");
  Button2 = &Bound(FindButton(*this, u"Button2"), form, u"Button2");
  AESEncryption1 = &Bound(FindAESEncryption1(*this), form, u"AESEncryption1");
}

platform::TNotifyEvent TForm3::PublishedMethod(std::string_view name) {
  for (const auto& [methodName, method] : kPublishedMethods)
    if (methodName == name) return [this, method](platform::TObject* Sender) { (this->*method)(Sender); };
  return {};
}

void TForm3::Button1Click(platform::TObject* /*Sender*/) { CreateAes(FDirectory(), *AESEncryption1); }

void TForm3::Button2Click(platform::TObject* /*Sender*/) { RestoreAes(FDirectory(), *AESEncryption1); }

}  // namespace Unit1
