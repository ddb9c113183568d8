<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>sphyra::AboutMenu</name>
    <message>
        <source>关于 Sphyra(&amp;A)...</source>
        <translation>&amp;About Sphyra...</translation>
    </message>
</context>
<context>
    <name>sphyra::CAboutDlg</name>
    <message>
        <source>Sphyra 1.0 版</source>
        <translation>Sphyra version 1.0</translation>
    </message>
    <message>
        <source>版本 %1 (文件版本 %2)</source>
        <translation>Version %1 (file version %2)</translation>
    </message>
    <message>
        <source>版权所有 © Sphyra 的作者们</source>
        <translation>Copyright © the authors of Sphyra</translation>
    </message>
    <message>
        <source>许可条款见 README。</source>
        <translation>For the licence, see the README.</translation>
    </message>
    <message>
        <source>运行于 Qt %1</source>
        <translation>Running on Qt %1</translation>
    </message>
    <message>
        <source>关于 Sphyra</source>
        <translation>About Sphyra</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>sphyra::CSensorMonitorDlg</name>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>通信端口已断开!</source>
        <translation>The port has been disconnected!</translation>
    </message>
</context>
<context>
    <name>sphyra::MessageBoxes</name>
    <message>
        <source>端口号错误!</source>
        <translation>Wrong port number!</translation>
    </message>
    <message>
        <source>请选择通信端口号!</source>
        <translation>Please choose a port!</translation>
    </message>
    <message>
        <source>请输入正确的波特率!</source>
        <translation>Please enter a valid baud rate!</translation>
    </message>
    <message>
        <source>通信端口打开失败!</source>
        <translation>The port could not be opened!</translation>
    </message>
    <message>
        <source>未知错误!</source>
        <translation>Unknown error!</translation>
    </message>
</context>
<context>
    <name>sphyra::MonitorLayout</name>
    <message>
        <source>开始采样</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>停止采样</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>退 出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>采样波形</source>
        <translation>Waveform</translation>
    </message>
    <message>
        <source>提示信息1</source>
        <translation>Prompt 1</translation>
    </message>
    <message>
        <source>测试要领：</source>
        <translation>Test hints:</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>放大倍数:</source>
        <translation>Gain:</translation>
    </message>
    <message>
        <source>电池电量:</source>
        <translation>Battery:</translation>
    </message>
    <message>
        <source>读设备地址</source>
        <translation>Read address</translation>
    </message>
    <message>
        <source>自动停止</source>
        <translation>Auto stop</translation>
    </message>
    <message>
        <source>通信控制</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>自动调整</source>
        <translation>Auto adjust</translation>
    </message>
    <message>
        <source>波特率:</source>
        <translation>Baud:</translation>
    </message>
    <message>
        <source>软件滤波</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>设备信息</source>
        <translation>Sensor</translation>
    </message>
    <message>
        <source>端  口:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>设备地址:</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>数据间隔:</source>
        <translation>Interval:</translation>
    </message>
    <message>
        <source>自动清除不在线设备</source>
        <translation>Drop offline sensors</translation>
    </message>
    <message>
        <source>启星无线红外脉搏传感器</source>
        <translation>Qixing Wireless Infrared Pulse Sensors</translation>
    </message>
</context>
<context>
    <name>sphyra::PulseRateReadout</name>
    <message>
        <source>心率</source>
        <translation>Pulse</translation>
    </message>
</context>
<context>
    <name>sphyra::RecordingPanel</name>
    <message>
        <source>选择录制文件夹</source>
        <translation>Choose the recording folder</translation>
    </message>
    <message>
        <source>录制</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>标记</source>
        <translation>Marker</translation>
    </message>
    <message>
        <source>加一个编号标记 (F9)</source>
        <translation>Add a numbered marker (F9)</translation>
    </message>
    <message>
        <source>选择录制文件夹…</source>
        <translation>Choose the recording folder…</translation>
    </message>
    <message>
        <source>录制中 %1  %2 MB</source>
        <translation>Recording %1  %2 MB</translation>
    </message>
    <message>
        <source>  标记 %1</source>
        <translation>  marker %1</translation>
    </message>
    <message>
        <source>打开端口后开始录制</source>
        <translation>Recording starts when the port opens</translation>
    </message>
    <message>
        <source>录制已停止</source>
        <translation>Recording stopped</translation>
    </message>
    <message>
        <source>已保存 </source>
        <translation>Saved </translation>
    </message>
    <message>
        <source>导出中 %1%</source>
        <translation>Exporting %1%</translation>
    </message>
    <message>
        <source>已导出 </source>
        <translation>Exported </translation>
    </message>
    <message>
        <source>导出失败：</source>
        <translation>Export failed: </translation>
    </message>
</context>
<context>
    <name>sphyra::SensorList</name>
    <message>
        <source>采样波形[传感器_%1][不在线]</source>
        <translation>Waveform [sensor %1] [offline]</translation>
    </message>
    <message>
        <source>采样波形[传感器_%1]</source>
        <translation>Waveform [sensor %1]</translation>
    </message>
</context>
<context>
    <name>sphyra::SensorRowLabel</name>
    <message>
        <source>传感器_%1
[--]</source>
        <translation>Sensor %1
[--]</translation>
    </message>
    <message>
        <source>传感器_%1
[%2%] %3</source>
        <translation>Sensor %1
[%2%] %3</translation>
    </message>
</context>
</TS>
