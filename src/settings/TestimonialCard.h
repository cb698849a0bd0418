#pragma once

#include "settings/SettingsWidgets.h"

class QLabel;
class QPlainTextEdit;
class QVariantAnimation;
class SettingsViewModel;

// The testimonial box: an invitation, the editor with Cancel and Submit, or the
// thank-you, whichever the shared model says. The home page and the general page each
// show one over the same model, so both always agree.
class TestimonialCard : public GlassCard {
    Q_OBJECT

public:
    TestimonialCard(SettingsViewModel& vm, Hover hover, QWidget* parent = nullptr);
    enum class Face { invitation, editor, thanks };
    Face face() const;
    QPlainTextEdit* editor() const { return m_edit; }
    QAbstractButton* submitButton() const { return m_submit; }
    QLabel* errorLabel() const { return m_error; }
    // The 0.2 s ease-out between the invitation and the editor, opening and cancelling.
    QVariantAnimation* faceAnimation() const { return m_faceAnimation; }

private:
    void sync();
    void animateFace(int fromHeight, QWidget* incoming);
    void endFaceAnimation();

    SettingsViewModel& m_vm;
    QWidget* m_invitation;
    QWidget* m_editorFace;
    QWidget* m_thanks;
    QPlainTextEdit* m_edit;
    QAbstractButton* m_submit;
    QLabel* m_error;
    QVariantAnimation* m_faceAnimation;
    Face m_shownFace = Face::invitation;
    int m_fromHeight = 0;
    int m_toHeight = 0;
};
