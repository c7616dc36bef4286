/* The entry point of a resource-only module: it holds no code beyond this. */
int __stdcall ResourceModuleEntry(void* module, unsigned long reason, void* reserved) {
    (void)module;
    (void)reason;
    (void)reserved;
    return 1;
}
