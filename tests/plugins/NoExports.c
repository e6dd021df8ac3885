/* Test library named like a plug-in but without the filter exports. */
__attribute__((visibility("default"))) int NotAFilter(void) {
    return 1;
}
