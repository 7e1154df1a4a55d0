// ThreadSanitizer reports an unlock of a mutex that the caller does not hold
// even when the program handles the failure. The mutex and condition-variable
// tests commit that misuse on purpose, to check that an error-checking mutex
// turns it into an exception, so those reports are suppressed for the two
// test files alone. Data races stay reported everywhere.

#if defined(__SANITIZE_THREAD__)
#define ZEB_TEST_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZEB_TEST_TSAN 1
#endif
#endif

#ifdef ZEB_TEST_TSAN
extern "C" const char* __tsan_default_suppressions() {
    return "mutex:ZEBMutexTest.cpp\n"
           "mutex:ZEBCondVarTest.cpp\n";
}
#endif
