#include "serial/component.h"

#include <algorithm>
#include <cwctype>
#include <utility>

#include "os/exception.h"

namespace quillet::serial {

namespace {

bool SameText(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
           return std::towupper(static_cast<wint_t>(x)) == std::towupper(static_cast<wint_t>(y));
         });
}

TApplicationExceptionHandler& ApplicationHandler() {
  static TApplicationExceptionHandler handler;
  return handler;
}

}  // namespace

TObject::~TObject() = default;

std::wstring TObject::ClassName() const {
  return L"TObject";
}

void TPersistent::Assign(const TPersistent& Source) {
  AssignError(Source);
}

void TPersistent::AssignError(const TPersistent& Source) const {
  throw Exception(L"Cannot assign a " + Source.ClassName() + L" to a " + ClassName());
}

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner) {
  if (FOwner != nullptr) FOwner->Insert(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  if (FOwner != nullptr) FOwner->Remove(this);
}

void TComponent::SetName(const std::wstring& value) {
  if (value == FName) return;
  if (FOwner != nullptr && !value.empty()) {
    TComponent* other = FOwner->FindComponent(value);
    if (other != nullptr && other != this) {
      throw Exception(L"A component named " + value + L" already exists");
    }
  }
  FName = value;
}

TComponent* TComponent::FindComponent(std::wstring_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : FComponents) {
    if (SameText(c->FName, name)) return c;
  }
  return nullptr;
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) throw Exception(L"List index out of bounds");
  return FComponents[static_cast<std::size_t>(index)];
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* last = FComponents.back();
    FComponents.pop_back();
    last->FOwner = nullptr;
    delete last;
  }
}

void TComponent::Loaded() {
  FLoading = false;
}

void TComponent::Insert(TComponent* component) {
  FComponents.push_back(component);
}

void TComponent::Remove(TComponent* component) {
  std::erase(FComponents, component);
}

void SetApplicationExceptionHandler(TApplicationExceptionHandler handler) {
  ApplicationHandler() = std::move(handler);
}

void HandleApplicationException(std::exception_ptr error) noexcept {
  try {
    if (ApplicationHandler()) ApplicationHandler()(error);
  } catch (...) {
    // The handler is the last stop; an error of its own has nowhere to go.
  }
}

}  // namespace quillet::serial
