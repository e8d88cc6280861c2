// The stroke spline and the tablet calls through the exported C API, as a host
// without a pen tablet sees them.
#include <gtest/gtest.h>
#include <quornel/quornel.h>

namespace {

TEST(StrokeInputApi, SplineSamplesThroughTheExports) {
    EXPECT_EQ(QRN_GetSplinePointCount(), 0);
    EXPECT_EQ(QRN_GetSplinePointX(0), 0);
    EXPECT_EQ(QRN_GetSplinePointY(7), 0);
    QRN_CalcSpline3(0, 0, 50, 50, 100, 0, 0);
    EXPECT_EQ(QRN_GetSplinePointCount(), 100);
    EXPECT_EQ(QRN_GetSplinePointX(0), 0);
    EXPECT_EQ(QRN_GetSplinePointX(99), 100);
    EXPECT_EQ(QRN_GetSplinePointX(500), QRN_GetSplinePointX(99));
    QRN_CalcSpline3(-10, -20, -5, -10, 0, 0, 0);
    EXPECT_EQ(QRN_GetSplinePointX(0), -10);
    EXPECT_EQ(QRN_GetSplinePointY(0), -20);
}

// Machines with a pen attached open a context; the rest must report no tablet
// and still serve the pressure ramp.
TEST(StrokeInputApi, NoTabletReportsZeroAndRampsPressure) {
    QRN_SetLastError("");
    EXPECT_EQ(QRN_ReadTabletPressure(0), 100);
    if (QRN_InitTablet(nullptr) != 0) {
        QRN_CloseTablet();
        GTEST_SKIP() << "a pen tablet is attached";
    }
    EXPECT_EQ(QRN_ReadTabletPressure(0), 100);
    EXPECT_EQ(QRN_ResetTabletPressure(), 0);
    for (int32_t want : {10, 35, 60, 85, 100, 100}) EXPECT_EQ(QRN_ReadTabletPressure(3), want);
    EXPECT_EQ(QRN_ReadTabletPackets(), 0);
    EXPECT_EQ(QRN_SetTabletOrigin(), 0);
    EXPECT_EQ(QRN_ReadTabletX(0), 0);
    EXPECT_EQ(QRN_ReadTabletY(0), 0);
    EXPECT_EQ(QRN_ReadRawTabletPressure(0), 0);
    EXPECT_EQ(QRN_IsPacketInvert(0), 0);
    EXPECT_EQ(QRN_PacketStatus(0), 0u);
    EXPECT_EQ(QRN_CloseTablet(), 0);
    EXPECT_STREQ(QRN_GetLastError(), "");
}

}  // namespace
