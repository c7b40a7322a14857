// Test program: stays alive for a while so that tests can end it by name.
#include <chrono>
#include <thread>

int main() {
    std::this_thread::sleep_for(std::chrono::seconds(30));
    return 0;
}
