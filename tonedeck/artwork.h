// The bar's pictures, drawn in code so that every pixel is our own.
#pragma once

#include <QIcon>
#include <QPixmap>

// The program icon: a small bar with a speaker cone and sound waves.
QIcon TonedeckIcon();
// The splash picture, size w x h.
QPixmap SplashPicture(int w, int h);
// The welcome dialog's two pictures: a person with headphones, and the repair kit.
QPixmap WelcomeTutorialPicture();
QPixmap WelcomeFixitPicture();
