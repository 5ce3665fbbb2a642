// Linked into every executable of the sanitizer build.
//
// GCC 12's sanitizer runtime (and LLVM's up to 16) intercepts __tls_get_addr and, when
// a dynamic TLS block happens to start 16 bytes into a page, takes the two words before
// it for the header glibc wrote before 2.25. Today's glibc writes no such header, so the
// runtime records a bogus range (seen as "DTLS 10 at 0x217-0x800001319") and the leak
// checker's tracer dies reading it at exit ("Tracer caught signal 11"). Whether a block
// lands on that offset depends on the heap layout, which the environment alone changes,
// so one machine fails every run and another never does. Not intercepting the call
// costs only the scan of dlopen'ed libraries' thread-locals as leak roots; none of ours
// holds heap memory there.
extern "C" const char *__lsan_default_options()
{
    return "intercept_tls_get_addr=0";
}
