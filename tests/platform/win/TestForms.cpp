// The test form's class table and its text description.
#include "TestForms.h"

namespace wintest {

const rtl::TClassInfo& TTestForm::StaticClassInfo()
{
    static const rtl::TClassInfo info = rtl::TClassBuilder<TTestForm, win::TForm>("TTestForm")
                                            .Field("Label1", &TTestForm::Label1)
                                            .Field("Msg1", &TTestForm::Msg1)
                                            .Field("Image1", &TTestForm::Image1)
                                            .Field("Button1", &TTestForm::Button1)
                                            .Field("Button2", &TTestForm::Button2)
                                            .Field("Edit1", &TTestForm::Edit1)
                                            .Field("Combo1", &TTestForm::Combo1)
                                            .Field("Memo1", &TTestForm::Memo1)
                                            .Field("Timer1", &TTestForm::Timer1)
                                            .Field("ScrollBar1", &TTestForm::ScrollBar1)
                                            .Field("TrackBar1", &TTestForm::TrackBar1)
                                            .Field("Panel1", &TTestForm::Panel1)
                                            .Field("PanelLabel", &TTestForm::PanelLabel)
                                            .Field("MainMenu1", &TTestForm::MainMenu1)
                                            .Field("File1", &TTestForm::File1)
                                            .Field("Open1", &TTestForm::Open1)
                                            .Field("PopupMenu1", &TTestForm::PopupMenu1)
                                            .Field("Pop1", &TTestForm::Pop1)
                                            .Method("FormCreate", &TTestForm::FormCreate)
                                            .Method("FormShow", &TTestForm::FormShow)
                                            .Method("FormCloseQuery", &TTestForm::FormCloseQuery)
                                            .Method("FormClose", &TTestForm::FormClose)
                                            .Method("FormKeyDown", &TTestForm::FormKeyDown)
                                            .Method("Label1Click", &TTestForm::Label1Click)
                                            .Method("Label1DblClick", &TTestForm::Label1DblClick)
                                            .Method("Label1MouseDown", &TTestForm::Label1MouseDown)
                                            .Method("Button1Click", &TTestForm::Button1Click)
                                            .Method("Button2Click", &TTestForm::Button2Click)
                                            .Method("Edit1Change", &TTestForm::Edit1Change)
                                            .Method("Edit1KeyDown", &TTestForm::Edit1KeyDown)
                                            .Method("Edit1KeyPress", &TTestForm::Edit1KeyPress)
                                            .Method("Combo1Change", &TTestForm::Combo1Change)
                                            .Method("Timer1Timer", &TTestForm::Timer1Timer)
                                            .Method("ScrollBar1Change", &TTestForm::ScrollBar1Change)
                                            .Method("TrackBar1Change", &TTestForm::TrackBar1Change)
                                            .Method("Open1Click", &TTestForm::Open1Click)
                                            .Method("Pop1Measure", &TTestForm::Pop1Measure)
                                            .Build();
    return info;
}

const char* const kTestFormText = R"(object TestForm: TTestForm
  Left = 100
  Top = 80
  BorderIcons = [biSystemMenu, biMinimize]
  BorderStyle = bsSingle
  Caption = 'Setup Assistant'
  ClientHeight = 300
  ClientWidth = 420
  Color = clBtnFace
  Constraints.MaxHeight = 610
  Constraints.MaxWidth = 622
  Constraints.MinHeight = 50
  Constraints.MinWidth = 120
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'Tahoma'
  KeyPreview = True
  Menu = MainMenu1
  Position = poScreenCenter
  OnClose = FormClose
  OnCloseQuery = FormCloseQuery
  OnCreate = FormCreate
  OnKeyDown = FormKeyDown
  OnShow = FormShow
  object Label1: TLabel
    Left = 8
    Top = 8
    Caption = 'Varnelo Setup Assistant'
    Font.Color = clTeal
    Font.Height = -19
    Font.Name = 'Arial'
    ParentFont = False
    OnClick = Label1Click
    OnDblClick = Label1DblClick
    OnMouseDown = Label1MouseDown
  end
  object Msg1: TLabel
    Left = 100
    Top = 188
    Width = 291
    Height = 13
    Alignment = taCenter
    AutoSize = False
    Caption = 'Cannot continue'
    Transparent = True
    Visible = False
    WordWrap = True
    Layout = tlCenter
  end
  object Image1: TImage
    Left = 7
    Top = 33
    Width = 40
    Height = 30
    Center = True
    Stretch = True
  end
  object Button1: TButton
    Left = 329
    Top = 267
    Width = 75
    Height = 25
    Caption = 'Install'
    Cursor = crHandPoint
    Default = True
    ModalResult = mrOk
    TabOrder = 0
    OnClick = Button1Click
  end
  object Button2: TButton
    Left = 238
    Top = 265
    Width = 75
    Height = 25
    Caption = 'Cancel'
    Cancel = True
    TabOrder = 1
    OnClick = Button2Click
  end
  object Edit1: TEdit
    Left = 8
    Top = 70
    Width = 200
    Height = 21
    Text = 'abc'
    TabOrder = 2
    OnChange = Edit1Change
    OnKeyDown = Edit1KeyDown
    OnKeyPress = Edit1KeyPress
  end
  object Combo1: TComboBox
    Left = 213
    Top = 240
    Width = 191
    Height = 21
    ItemIndex = 1
    TabOrder = 3
    Items.Strings = (
      'C:\one\'
      'C:\two\'
      'C:\three\')
    OnChange = Combo1Change
  end
  object Memo1: TMemo
    Left = 8
    Top = 100
    Width = 200
    Height = 80
    Lines.Strings = (
      'first'
      'second')
    ReadOnly = True
    ScrollBars = ssBoth
    WordWrap = False
    TabOrder = 4
  end
  object Timer1: TTimer
    Enabled = False
    Interval = 20
    OnTimer = Timer1Timer
  end
  object ScrollBar1: TScrollBar
    Left = 220
    Top = 70
    Width = 150
    Height = 17
    Max = 50
    Position = 10
    SmallChange = 2
    LargeChange = 10
    TabOrder = 5
    OnChange = ScrollBar1Change
  end
  object TrackBar1: TTrackBar
    Left = 220
    Top = 100
    Width = 150
    Height = 30
    Max = 20
    Position = 5
    TabOrder = 6
    OnChange = TrackBar1Change
  end
  object Panel1: TPanel
    Left = 220
    Top = 140
    Width = 180
    Height = 40
    BevelOuter = bvLowered
    Caption = 'panel'
    TabOrder = 7
    object PanelLabel: TLabel
      Left = 4
      Top = 4
      Caption = 'inside'
    end
  end
  object MainMenu1: TMainMenu
    object File1: TMenuItem
      Caption = '&File'
      object Open1: TMenuItem
        Caption = '&Open'
        ShortCut = 16463
        OnClick = Open1Click
      end
    end
  end
  object PopupMenu1: TPopupMenu
    OwnerDraw = True
    object Pop1: TMenuItem
      Caption = 'Pop'
      OnMeasureItem = Pop1Measure
    end
  end
end
)";

}  // namespace wintest
