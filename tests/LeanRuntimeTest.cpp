// The lighter runtime stand-ins the shipped programs link: a broken precondition in a standard
// container still throws a std::exception with the header's message, allocation failures still
// throw std::bad_alloc. This program links them as the launcher does.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <stdexcept>
#include <vector>

namespace {
// The message of what call throws (empty when it throws nothing), and whether it is one of the
// runtime's own logic_error types.
template <class Call>
std::pair<std::string, bool> Thrown(Call call) {
  try {
    call();
  } catch (const std::logic_error& error) {
    return {error.what(), true};
  } catch (const std::exception& error) {
    return {error.what(), false};
  }
  return {};
}
}  // namespace

TEST(LeanRuntime, StringPositionPastTheEndThrowsWithTheHeadersMessage) {
  const std::string text = "abc";
  const auto [message, runtimesOwn] = Thrown([&] { (void)text.substr(5); });
  EXPECT_EQ(message, "basic_string::substr: __pos (which is 5) > this->size() (which is 3)");
  EXPECT_FALSE(runtimesOwn);  // the stand-in, not the runtime's std::out_of_range
}

TEST(LeanRuntime, VectorBeyondMaxSizeThrowsWithTheHeadersMessage) {
  std::vector<int> numbers;
  const auto [message, runtimesOwn] = Thrown([&] { numbers.reserve(numbers.max_size() + 1); });
  EXPECT_EQ(message, "vector::reserve");
  EXPECT_FALSE(runtimesOwn);  // not std::length_error
}

TEST(LeanRuntime, ImpossibleAllocationStillThrowsBadAlloc) {
  std::allocator<long long> allocator;
  const size_t beyond = std::allocator_traits<std::allocator<long long>>::max_size(allocator) + 1;
  EXPECT_THROW((void)allocator.allocate(beyond), std::bad_alloc);
}

namespace {
struct Counted {
  explicit Counted(int* destroyed) : destroyed(destroyed) {}
  ~Counted() { ++*destroyed; }
  int* destroyed;
};
}  // namespace

// make_shared's block no longer asks the runtime's type check: sharing, weak references and the
// single destruction must not depend on it.
TEST(LeanRuntime, MakeSharedBlocksShareAndDestroyOnce) {
  int destroyed = 0;
  std::weak_ptr<Counted> watcher;
  {
    auto first = std::make_shared<Counted>(&destroyed);
    watcher = first;
    std::shared_ptr<Counted> second = first;
    EXPECT_EQ(first.use_count(), 2);
    first.reset();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(watcher.lock(), second);
  }
  EXPECT_EQ(destroyed, 1);
  EXPECT_TRUE(watcher.expired());
}
