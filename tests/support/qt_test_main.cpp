#include <QApplication>
#include <gtest/gtest.h>

// Widgets need their application object before any test builds one.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
