// Programs that start child processes with QProcess do so while other threads
// run; ThreadSanitizer ends such a child as soon as it starts a thread before
// its exec, unless told to let it go on. Other builds never call this.
extern "C" const char *__tsan_default_options()
{
    return "die_after_fork=0";
}
