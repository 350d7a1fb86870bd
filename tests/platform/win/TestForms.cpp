// The test form's class table and its text description.
#include "TestForms.h"

namespace wintest {

void TTestForm::Publish(Table& t)
{
    t.Field(RTL_MEMBER(Label1));
    t.Field(RTL_MEMBER(Msg1));
    t.Field(RTL_MEMBER(Image1));
    t.Field(RTL_MEMBER(Button1));
    t.Field(RTL_MEMBER(Button2));
    t.Field(RTL_MEMBER(Edit1));
    t.Field(RTL_MEMBER(Combo1));
    t.Field(RTL_MEMBER(Memo1));
    t.Field(RTL_MEMBER(Timer1));
    t.Field(RTL_MEMBER(ScrollBar1));
    t.Field(RTL_MEMBER(TrackBar1));
    t.Field(RTL_MEMBER(Panel1));
    t.Field(RTL_MEMBER(PanelLabel));
    t.Field(RTL_MEMBER(MainMenu1));
    t.Field(RTL_MEMBER(File1));
    t.Field(RTL_MEMBER(Open1));
    t.Field(RTL_MEMBER(PopupMenu1));
    t.Field(RTL_MEMBER(Pop1));
    t.Method(RTL_MEMBER(FormCreate));
    t.Method(RTL_MEMBER(FormShow));
    t.Method(RTL_MEMBER(FormCloseQuery));
    t.Method(RTL_MEMBER(FormClose));
    t.Method(RTL_MEMBER(FormKeyDown));
    t.Method(RTL_MEMBER(Label1Click));
    t.Method(RTL_MEMBER(Label1DblClick));
    t.Method(RTL_MEMBER(Label1MouseDown));
    t.Method(RTL_MEMBER(Button1Click));
    t.Method(RTL_MEMBER(Button2Click));
    t.Method(RTL_MEMBER(Edit1Change));
    t.Method(RTL_MEMBER(Edit1KeyDown));
    t.Method(RTL_MEMBER(Edit1KeyPress));
    t.Method(RTL_MEMBER(Combo1Change));
    t.Method(RTL_MEMBER(Timer1Timer));
    t.Method(RTL_MEMBER(ScrollBar1Change));
    t.Method(RTL_MEMBER(TrackBar1Change));
    t.Method(RTL_MEMBER(Open1Click));
    t.Method(RTL_MEMBER(Pop1Measure));
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
