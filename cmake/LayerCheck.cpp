// The program a layer is linked into whole, to prove it needs nothing above it.
int main() {
    return 0;
}
