// TObject and TComponent: the base of every component of the system.
//
// A component may have an owner, which lists it (Components) but never frees it: every
// component is freed by the one std::unique_ptr (or scope) that holds it, so no object has
// two owners. A component freed first removes itself from its owner's list; an owner freed
// first lets its components go (their Owner() becomes null).
#pragma once

#include <vector>

#include "runtime/SysUtils.h"

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner = nullptr);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& name) { name_ = name; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(static_cast<size_t>(index)); }

 private:
  void Insert(TComponent* component);
  void Remove(TComponent* component);

  TComponent* owner_ = nullptr;
  AnsiString name_;
  std::vector<TComponent*> components_;
};
