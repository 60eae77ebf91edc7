// Runtime services shared by every part of the program: the exception
// classes, rounding, the random generator and the clocks. Pure C++: the
// sound, music and game units use it without Qt.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

// Base of every exception the program raises. Each class reports its own
// name (shown in error boxes) and carries the code address where it was
// raised.
class Exception : public std::exception {
public:
  [[gnu::noinline]] explicit Exception(std::string message);
  const char *what() const noexcept override { return Message.c_str(); }
  virtual const char *ClassName() const { return "Exception"; }

  std::string Message;
  const void *ExceptAddr = nullptr;

protected:
  Exception(std::string message, const void *address);
};

#define ZOFTREL_EXCEPTION_CLASS(Name, Base)                                                        \
  class Name : public Base {                                                                       \
  public:                                                                                          \
    [[gnu::noinline]] explicit Name(std::string message)                                           \
        : Base(std::move(message), __builtin_return_address(0)) {}                                 \
    const char *ClassName() const override { return #Name; }                                       \
                                                                                                   \
  protected:                                                                                       \
    Name(std::string message, const void *address) : Base(std::move(message), address) {}          \
  };

ZOFTREL_EXCEPTION_CLASS(EStreamError, Exception)
ZOFTREL_EXCEPTION_CLASS(EFilerError, EStreamError)
ZOFTREL_EXCEPTION_CLASS(EReadError, EFilerError)
ZOFTREL_EXCEPTION_CLASS(EOutOfMemory, Exception)
ZOFTREL_EXCEPTION_CLASS(EListError, Exception)
ZOFTREL_EXCEPTION_CLASS(EMCIDeviceError, Exception)

// The text of an error box for an exception leaving an event handler: the
// message, with a '.' appended when its last character comes after '.' in
// character order.
std::string HandlerErrorText(const std::string &message);

// The text of the start-up failure box:
// "Exception %s in module %s at %p.\n%s%s".
std::string ApplicationErrorText(const char *className, const std::string &module,
                                 const void *address, const std::string &message);

// Rounds to the nearest integer, a half going to the even neighbour.
int32_t Round(double value);

// Uniform random integers in 0..n-1 from a generator that tests can seed.
int32_t Random(int32_t n);
// Reseeds the generator from the clock, unless a test has fixed the seed.
void Randomize();
// Seeds the generator; after this, Randomize keeps the sequence going
// instead of reseeding, so a test sees the same game every time.
void SetRandSeed(uint32_t seed);
uint32_t RandSeed();

// The local time of day as a fraction of a day (0 <= t < 1). Tests can set
// it; ClearTimeOverride returns to the real clock.
double Time();
void SetTimeOverride(double fraction);
void ClearTimeOverride();

// Days on a clock that never wraps or jumps: a steady clock counted from
// the program's start. The shot cooldown reads it, so a game that runs
// across midnight goes on firing. Tests can set it; ClearNowOverride
// returns to the real clock.
double Now();
void SetNowOverride(double days);
void ClearNowOverride();
