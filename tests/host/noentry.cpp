// A loadable module that is no plug-in: it lacks the entry points.
extern "C" __attribute__((visibility("default"))) int vrx_not_a_plugin()
{
    return 42;
}
