// The small component framework the port engine lives in: objects, persistent
// settings objects that copy with Assign, and named components owned by an
// owner that destroys them.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::serial {

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject();

  virtual std::wstring ClassName() const;
};

// A settings object that can take the values of another with Assign.
class TPersistent : public TObject {
 public:
  // Copies Source when this class knows how; the base refuses every source
  // with "Cannot assign a <source class> to a <this class>".
  virtual void Assign(const TPersistent& Source);

 protected:
  [[noreturn]] void AssignError(const TPersistent& Source) const;
};

enum class TComponentStateFlag { csLoading, csDesigning };

// A named component. An owner keeps the components it owns in creation order
// and destroys them in reverse order when it is itself destroyed; owned
// components are therefore created with new. A component destroyed earlier
// leaves its owner's list.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  const std::wstring& Name() const { return FName; }
  // Names are unique among the components of one owner, case-insensitively.
  void SetName(const std::wstring& value);

  TComponent* Owner() const { return FOwner; }
  // Case-insensitive; searches the components this one owns, not deeper.
  TComponent* FindComponent(std::wstring_view name) const;
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int index) const;

  // Destroys the owned components now, last created first. An owner whose
  // handlers are called by its components calls this in its own destructor,
  // while those handlers can still run.
  void DestroyComponents();

  bool Loading() const { return FLoading; }
  bool Designing() const { return FDesigning; }
  void SetDesigning(bool value) { FDesigning = value; }
  // The framework marks a component while it restores its properties, and
  // calls Loaded when that is done.
  void BeginLoading() { FLoading = true; }
  virtual void Loaded();

 private:
  void Insert(TComponent* component);
  void Remove(TComponent* component);

  TComponent* FOwner = nullptr;
  std::wstring FName;
  std::vector<TComponent*> FComponents;
  bool FLoading = false;
  bool FDesigning = false;
};

// The application's global exception handler: errors that have no caller to
// go to (an open started by Loaded, a delivery through a window message) are
// handed to it. The application installs one that shows the error box;
// without one such errors are dropped.
using TApplicationExceptionHandler = std::function<void(std::exception_ptr)>;
void SetApplicationExceptionHandler(TApplicationExceptionHandler handler);
// Hands the given error to the installed handler; never throws.
void HandleApplicationException(std::exception_ptr error) noexcept;

}  // namespace quillet::serial
