#include <gtest/gtest.h>

#include <cstring>

// openal_backend_test.cpp: the child process of its headphone test, which
// needs OpenAL Soft started afresh under other settings.
int HeadphoneProbeMain();

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--headphone-probe") == 0)
        return HeadphoneProbeMain();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
