// Clang's thread-safety annotations: with clang and -Wthread-safety the
// compiler checks that guarded fields are only touched under their lock.
// Other compilers see nothing.
#ifndef PIXOLUNE_PLATFORM_THREAD_ANNOTATIONS_H_
#define PIXOLUNE_PLATFORM_THREAD_ANNOTATIONS_H_

#if defined(__clang__)
#define PIXOLUNE_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define PIXOLUNE_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(name) PIXOLUNE_THREAD_ANNOTATION(capability(name))
#define SCOPED_CAPABILITY PIXOLUNE_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(lock) PIXOLUNE_THREAD_ANNOTATION(guarded_by(lock))
#define REQUIRES(...) PIXOLUNE_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) PIXOLUNE_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) PIXOLUNE_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) PIXOLUNE_THREAD_ANNOTATION(release_capability(__VA_ARGS__))

#endif  // PIXOLUNE_PLATFORM_THREAD_ANNOTATIONS_H_
