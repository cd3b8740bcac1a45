// Owner<Traits>: the one shape of the owners of a resource (a handle, a view, a key, a string, a
// block of memory). It holds at most one value, gives it back with Traits::Free when it goes or
// is replaced, and is moved but never copied. Traits name the Value type, what makes a value
// empty (Traits::Normal maps every "no resource" form to Value()), and how to free it.
#pragma once

namespace cairn {

// Traits of a resource whose only empty value is Value(); they add Free.
template <class T>
struct EmptyWhenNull {
  using Value = T;
  static T Normal(T value) { return value; }
};

template <class Traits>
class Owner {
 public:
  using Value = typename Traits::Value;

  Owner() = default;
  // Takes over value.
  explicit Owner(Value value) : value_(Traits::Normal(value)) {}
  Owner(Owner&& other) noexcept : value_(other.Detach()) {}
  Owner& operator=(Owner&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  ~Owner() { Reset(); }

  // Frees what is held and takes over value.
  void Reset(Value value = Value()) {
    if (value_ != Value()) Traits::Free(value_);
    value_ = Traits::Normal(value);
  }
  // Gives up the value without freeing it.
  Value Detach() {
    Value value = value_;
    value_ = Value();
    return value;
  }
  Value Get() const { return value_; }
  // For out-parameters: frees what is held and returns the slot to fill.
  Value* Out() {
    Reset();
    return &value_;
  }
  explicit operator bool() const { return value_ != Value(); }

 private:
  Value value_ = Value();
};

}  // namespace cairn
