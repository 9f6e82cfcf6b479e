/* Control ids of the module's dialog templates, shared by the resource
   script and the dialog procedures. The templates themselves are named
   resources ("IDD_CFG_DEVICE", ...), so those names are deliberately not
   defined here. */
#pragma once

/* Buttons every dialog has. */
#define IDC_OK 1
#define IDC_CANCEL 2
#define IDC_DEFAULTS 3
#define IDC_NO_ID -1

/* Controller information. */
#define IDC_DEVICE_INFO 1034

/* Z and rotary parameters. */
#define IDC_CALIBRATION 1004
#define IDC_RUNNING_CURRENT 1005
#define IDC_STANDBY_CURRENT 1006
#define IDC_SPEED 1007
#define IDC_ACCELERATION 1008
#define IDC_NEGATE 1023
#define IDC_FLIP 1024
#define IDC_SPEED_CLASS 1025
#define IDC_ACCELERATION_CLASS 1028

/* XY parameters: X and Y side by side. */
#define IDC_X_CALIBRATION 1004
#define IDC_Y_CALIBRATION 1005
#define IDC_X_RUNNING_CURRENT 1006
#define IDC_Y_RUNNING_CURRENT 1007
#define IDC_X_STANDBY_CURRENT 1008
#define IDC_Y_STANDBY_CURRENT 1009
#define IDC_X_SPEED 1010
#define IDC_Y_SPEED 1011
#define IDC_X_ACCELERATION 1012
#define IDC_Y_ACCELERATION 1013
#define IDC_X_NEGATE 1023
#define IDC_X_FLIP 1024
#define IDC_XY_SPEED_CLASS 1025
#define IDC_Y_NEGATE 1026
#define IDC_Y_FLIP 1027
#define IDC_XY_ACCELERATION_CLASS 1028
