// The message table: thirteen rows of 131 words, filled once on first use with the built-in translations.
#include "imaging/core/iewords.h"

#include "imaging/core/detail/ieplatformservices.h"

#include <array>
#include <mutex>
#include <string_view>

namespace imaging {
namespace {

// One row per language, words separated by '|', written in UTF-8 and stored in the row's code page.
// An empty word leaves the entry empty, so the English word is used.
struct TBuiltInRow {
    TMsgLanguage language;
    int codePage;
    const char* words;
};

constexpr TBuiltInRow kBuiltInRows[] = {
    {msEnglish, 1252,
     "Preview|Original|Result|OK|Cancel|Lock preview|Copy Result to Original|Contrast|Brightness|Hue|"
     "Saturation|Value|Base color|New color|Luminosity|Red|Green|Blue|Filter values|Presets|"
     "Divisor|Load|Save|Equalization|Threshold|Equalize|Histogram|Gray|Light|Left|"
     "Top|Width|Height|Color|Original image quantity|Lens|Refraction|Parameters Preview|Quality|DCT method|"
     "Smoothing factor|Gray scale|Optimal Huffman|Original size|Compressed "
     "size|Advanced|Progressive|Compression|Image index|Photometric|"
     "Scanned document info|Name|Description|Page name|Page number|of|Horiz. Position (inch)|Vert. Position "
     "(inch)|Colors|Transparent|"
     "Transparent color|Interlaced|Background|Horiz. Position|Vert. Position|Delay "
     "time|Filter|Wave|Amplitude|Wave length|"
     "Phase|Reflective|User filter|Morphing filters|Window size|Maximum|Minimum|Opening|Closing|Rotate|"
     "Flip|Horizontal|Vertical|Frequency domain image|Select the region to clean|Clear|Reset|Animate|Load "
     "filter|Save filter|"
     "Bump map|Print|Margins|inches|Right|Bottom|Position|Size|Normal|Fit to page|"
     "Stretch to page|Specified size|Gamma correction|Value|Print Setup|Left Margin|Top Margin|Right "
     "Margin|Bottom Margin|Location/size|"
     "Top Left|Top Center|Top Right|Center Left|Center|Center Right|Bottom Left|Bottom Center|Bottom "
     "Right|Close|"
     "Apply|Measure Units|Units|Rate|All graphics|Video for Windows|File|Mem|"
     "Automatically updates your preview with the changes you have selected|Print All|Print Selected"},
    {msItalian, 1252,
     "Anteprima|Originale|Risultato|OK|Annulla|Blocca anteprima|Copia risultato su "
     "originale|Contrasto|Luminosità|Tonalità|"
     "Saturazione|Valore|Colore base|Nuovo colore|Luminosità|Rosso|Verde|Blu|Valori filtro|Predefiniti|"
     "Divisore|Carica|Salva|Equalizzazione|Soglia|Equalizza|Istogramma|Grigio|Luce|Sinistra|"
     "Alto|Larghezza|Altezza|Colore|Quantità immagine originale|Lente|Rifrazione|Anteprima "
     "parametri|Qualità|Metodo DCT|"
     "Fattore di smussamento|Scala di grigi|Huffman ottimale|Dimensione originale|Dimensione "
     "compressa|Avanzate|Progressivo|Compressione|Indice immagine|Fotometrico|"
     "Informazioni documento acquisito|Nome|Descrizione|Nome pagina|Numero pagina|di|Posizione orizz. "
     "(pollici)|Posizione vert. (pollici)|Colori|Trasparente|"
     "Colore trasparente|Interlacciato|Sfondo|Posizione orizz.|Posizione vert.|Tempo di "
     "ritardo|Filtro|Onda|Ampiezza|Lunghezza d'onda|"
     "Fase|Riflessione|Filtro utente|Filtri morfologici|Dimensione "
     "finestra|Massimo|Minimo|Apertura|Chiusura|Ruota|"
     "Capovolgi|Orizzontale|Verticale|Immagine nel dominio della frequenza|Seleziona la regione da "
     "pulire|Cancella|Reimposta|Anima|Carica filtro|Salva filtro|"
     "Mappa di rilievo|Stampa|Margini|pollici|Destra|Basso|Posizione|Dimensione|Normale|Adatta alla pagina|"
     "Estendi alla pagina|Dimensione specificata|Correzione gamma|Valore|Imposta stampa|Margine "
     "sinistro|Margine superiore|Margine destro|Margine inferiore|Posizione/dimensione|"
     "In alto a sinistra|In alto al centro|In alto a destra|Al centro a sinistra|Centro|Al centro a "
     "destra|In basso a sinistra|In basso al centro|In basso a destra|Chiudi|"
     "Applica|Unità di misura|Unità|Frequenza|Tutti i formati grafici|Video for Windows|File|Mem|"
     "Aggiorna automaticamente l'anteprima con le modifiche selezionate|Stampa tutto|Stampa selezionati"},
    {msGerman, 1252,
     "Vorschau|Original|Ergebnis|OK|Abbrechen|Vorschau sperren|Ergebnis ins Original "
     "kopieren|Kontrast|Helligkeit|Farbton|"
     "Sättigung|Wert|Grundfarbe|Neue Farbe|Leuchtkraft|Rot|Grün|Blau|Filterwerte|Voreinstellungen|"
     "Divisor|Laden|Speichern|Ausgleich|Schwellenwert|Ausgleichen|Histogramm|Grau|Licht|Links|"
     "Oben|Breite|Höhe|Farbe|Anteil des Originalbilds|Linse|Brechung|Parametervorschau|Qualität|DCT-Methode|"
     "Glättungsfaktor|Graustufen|Optimales Huffman|Originalgröße|Komprimierte "
     "Größe|Erweitert|Progressiv|Komprimierung|Bildindex|Photometrisch|"
     "Info zum gescannten Dokument|Name|Beschreibung|Seitenname|Seitennummer|von|Horiz. Position "
     "(Zoll)|Vert. Position (Zoll)|Farben|Transparent|"
     "Transparente Farbe|Interlaced|Hintergrund|Horiz. Position|Vert. "
     "Position|Verzögerung|Filter|Welle|Amplitude|Wellenlänge|"
     "Phase|Reflektierend|Benutzerfilter|Morphologische "
     "Filter|Fenstergröße|Maximum|Minimum|Öffnen|Schließen|Drehen|"
     "Spiegeln|Horizontal|Vertikal|Bild im Frequenzbereich|Den zu bereinigenden Bereich "
     "wählen|Löschen|Zurücksetzen|Animieren|Filter laden|Filter speichern|"
     "Bump-Map|Drucken|Ränder|Zoll|Rechts|Unten|Position|Größe|Normal|An Seite anpassen|"
     "Auf Seite strecken|Angegebene Größe|Gammakorrektur|Wert|Druckeinrichtung|Linker Rand|Oberer "
     "Rand|Rechter Rand|Unterer Rand|Position/Größe|"
     "Oben links|Oben Mitte|Oben rechts|Mitte links|Mitte|Mitte rechts|Unten links|Unten Mitte|Unten "
     "rechts|Schließen|"
     "Übernehmen|Maßeinheiten|Einheiten|Rate|Alle Grafiken|Video for Windows|Datei|Speicher|"
     "Aktualisiert die Vorschau automatisch mit den gewählten Änderungen|Alles drucken|Auswahl drucken"},
    {msSpanish, 1252,
     "Vista Previa|Original|Resultado|Aceptar|Cancelar|Bloquear vista previa|Copiar resultado al "
     "original|Contraste|Brillo|Tono|"
     "Saturación|Valor|Color base|Color nuevo|Luminosidad|Rojo|Verde|Azul|Valores del filtro|Predefinidos|"
     "Divisor|Cargar|Guardar|Ecualización|Umbral|Ecualizar|Histograma|Gris|Luz|Izquierda|"
     "Arriba|Ancho|Alto|Color|Cantidad de imagen original|Lente|Refracción|Vista previa de "
     "parámetros|Calidad|Método DCT|"
     "Factor de suavizado|Escala de grises|Huffman óptimo|Tamaño original|Tamaño "
     "comprimido|Avanzado|Progresivo|Compresión|Índice de imagen|Fotométrico|"
     "Información del documento escaneado|Nombre|Descripción|Nombre de página|Número de página|de|Posición "
     "horiz. (pulgadas)|Posición vert. (pulgadas)|Colores|Transparente|"
     "Color transparente|Entrelazado|Fondo|Posición horiz.|Posición vert.|Tiempo de "
     "retardo|Filtro|Onda|Amplitud|Longitud de onda|"
     "Fase|Reflectante|Filtro de usuario|Filtros morfológicos|Tamaño de "
     "ventana|Máximo|Mínimo|Apertura|Cierre|Girar|"
     "Voltear|Horizontal|Vertical|Imagen en el dominio de la frecuencia|Seleccione la región a "
     "limpiar|Borrar|Restablecer|Animar|Cargar filtro|Guardar filtro|"
     "Mapa de relieve|Imprimir|Márgenes|pulgadas|Derecha|Abajo|Posición|Tamaño|Normal|Ajustar a la página|"
     "Estirar a la página|Tamaño especificado|Corrección gamma|Valor|Configurar impresión|Margen "
     "izquierdo|Margen superior|Margen derecho|Margen inferior|Posición/tamaño|"
     "Arriba izquierda|Arriba centro|Arriba derecha|Centro izquierda|Centro|Centro derecha|Abajo "
     "izquierda|Abajo centro|Abajo derecha|Cerrar|"
     "Aplicar|Unidades de medida|Unidades|Rate|Todos los gráficos|Video for Windows|Archivo|Mem|"
     "Actualiza automáticamente la vista previa con los cambios seleccionados|Imprimir todo|Imprimir "
     "selección"},
    {msFrench, 1252,
     "Prévisualisation|Original|Résultat|OK|Annuler|Verrouiller l'aperçu|Copier le résultat vers "
     "l'original|Contraste|Luminosité|Teinte|"
     "Saturation|Valeur|Couleur de base|Nouvelle couleur|Luminosité|Rouge|Vert|Bleu|Valeurs du "
     "filtre|Préréglages|"
     "Diviseur|Charger|Enregistrer|Égalisation|Seuil|Égaliser|Histogramme|Gris|Lumière|Gauche|"
     "Haut|Largeur|Hauteur|Couleur|Quantité d'image originale|Lentille|Réfraction|Aperçu des "
     "paramètres|Qualité|Méthode DCT|"
     "Facteur de lissage|Niveaux de gris|Huffman optimal|Taille originale|Taille "
     "compressée|Avancé|Progressif|Compression|Index de l'image|Photométrique|"
     "Infos du document numérisé|Nom|Description|Nom de la page|Numéro de page|de|Position horiz. "
     "(pouces)|Position vert. (pouces)|Couleurs|Transparent|"
     "Couleur transparente|Entrelacé|Arrière-plan|Position horiz.|Position "
     "vert.|Délai|Filtre|Onde|Amplitude|Longueur d'onde|"
     "Phase|Réfléchissant|Filtre utilisateur|Filtres morphologiques|Taille de la "
     "fenêtre|Maximum|Minimum|Ouverture|Fermeture|Rotation|"
     "Retourner|Horizontal|Vertical|Image dans le domaine fréquentiel|Sélectionnez la zone à "
     "nettoyer|Effacer|Réinitialiser|Animer|Charger le filtre|Enregistrer le filtre|"
     "Carte de relief|Imprimer|Marges|pouces|Droite|Bas|Position|Taille|Normal|Ajuster à la page|"
     "Étirer à la page|Taille spécifiée|Correction gamma|Valeur|Configuration de l'impression|Marge "
     "gauche|Marge haute|Marge droite|Marge basse|Position/taille|"
     "En haut à gauche|En haut au centre|En haut à droite|Au centre à gauche|Centre|Au centre à droite|En "
     "bas à gauche|En bas au centre|En bas à droite|Fermer|"
     "Appliquer|Unités de mesure|Unités|Rate|Tous les graphiques|Video for Windows|Fichier|Mém|"
     "Met à jour automatiquement l'aperçu avec les modifications choisies|Tout imprimer|Imprimer la "
     "sélection"},
    {msPortuguese, 1252,
     "Visualizar|Original|Resultado|OK|Cancelar|Bloquear visualização|Copiar resultado para o "
     "original|Contraste|Brilho|Matiz|"
     "Saturação|Valor|Cor base|Nova cor|Luminosidade|Vermelho|Verde|Azul|Valores do filtro|Predefinições|"
     "Divisor|Carregar|Salvar|Equalização|Limiar|Equalizar|Histograma|Cinza|Luz|Esquerda|"
     "Topo|Largura|Altura|Cor|Quantidade da imagem original|Lente|Refração|Visualizar "
     "parâmetros|Qualidade|Método DCT|"
     "Fator de suavização|Escala de cinza|Huffman otimizado|Tamanho original|Tamanho "
     "comprimido|Avançado|Progressivo|Compressão|Índice da imagem|Fotométrico|"
     "Informação do documento digitalizado|Nome|Descrição|Nome da página|Número da página|de|Posição horiz. "
     "(polegadas)|Posição vert. (polegadas)|Cores|Transparente|"
     "Cor transparente|Entrelaçado|Fundo|Posição horiz.|Posição vert.|Tempo de "
     "espera|Filtro|Onda|Amplitude|Comprimento de onda|"
     "Fase|Reflexivo|Filtro do usuário|Filtros morfológicos|Tamanho da "
     "janela|Máximo|Mínimo|Abertura|Fechamento|Girar|"
     "Inverter|Horizontal|Vertical|Imagem no domínio da frequência|Selecione a região a "
     "limpar|Limpar|Reiniciar|Animar|Carregar filtro|Salvar filtro|"
     "Mapa de relevo|Imprimir|Margens|polegadas|Direita|Base|Posição|Tamanho|Normal|Ajustar à página|"
     "Esticar à página|Tamanho especificado|Correção gama|Valor|Configurar impressão|Margem esquerda|Margem "
     "superior|Margem direita|Margem inferior|Posição/tamanho|"
     "Superior esquerdo|Superior centro|Superior direito|Centro esquerdo|Centro|Centro direito|Inferior "
     "esquerdo|Inferior centro|Inferior direito|Fechar|"
     "Aplicar|Unidades de medida|Unidades|Rate|Todos os gráficos|Video for Windows|Arquivo|Mem|"
     "Atualiza automaticamente a visualização com as alterações selecionadas|Imprimir tudo|Imprimir seleção"},
    {msGreek, 1253,
     "Προεπισκόπηση|Αρχική|Αποτέλεσμα|OK|Άκυρο|Κλείδωμα προεπισκόπησης|Αντιγραφή αποτελέσματος στην "
     "αρχική|Αντίθεση|Φωτεινότητα|Απόχρωση|"
     "Κορεσμός|Τιμή|Βασικό χρώμα|Νέο χρώμα|Φωτεινότητα|Κόκκινο|Πράσινο|Μπλε|Τιμές φίλτρου|Προεπιλογές|"
     "Διαιρέτης|Φόρτωση|Αποθήκευση|Εξισορρόπηση|Κατώφλι|Εξισορρόπηση|Ιστόγραμμα|Γκρι|Φως|Αριστερά|"
     "Πάνω|Πλάτος|Ύψος|Χρώμα|Ποσότητα αρχικής εικόνας|Φακός|Διάθλαση|Προεπισκόπηση "
     "παραμέτρων|Ποιότητα|Μέθοδος DCT|"
     "Συντελεστής εξομάλυνσης|Κλίμακα του γκρι|Βέλτιστο Huffman|Αρχικό μέγεθος|Συμπιεσμένο μέγεθος|Για "
     "προχωρημένους|Προοδευτικό|Συμπίεση|Δείκτης εικόνας|Φωτομετρικό|"
     "Πληροφορίες σαρωμένου εγγράφου|Όνομα|Περιγραφή|Όνομα σελίδας|Αριθμός σελίδας|από|Οριζ. θέση "
     "(ίντσες)|Κατακ. θέση (ίντσες)|Χρώματα|Διαφανές|"
     "Διαφανές χρώμα|Πεπλεγμένο|Φόντο|Οριζ. θέση|Κατακ. θέση|Χρόνος καθυστέρησης|Φίλτρο|Κύμα|Πλάτος "
     "κύματος|Μήκος κύματος|"
     "Φάση|Ανακλαστικό|Φίλτρο χρήστη|Μορφολογικά φίλτρα|Μέγεθος "
     "παραθύρου|Μέγιστο|Ελάχιστο|Άνοιγμα|Κλείσιμο|Περιστροφή|"
     "Αναστροφή|Οριζόντια|Κατακόρυφα|Εικόνα στο πεδίο συχνοτήτων|Επιλέξτε την περιοχή για "
     "καθαρισμό|Καθαρισμός|Επαναφορά|Κίνηση|Φόρτωση φίλτρου|Αποθήκευση φίλτρου|"
     "Χάρτης ανάγλυφου|Εκτύπωση|Περιθώρια|ίντσες|Δεξιά|Κάτω|Θέση|Μέγεθος|Κανονικό|Προσαρμογή στη σελίδα|"
     "Επέκταση στη σελίδα|Καθορισμένο μέγεθος|Διόρθωση γάμμα|Τιμή|Ρύθμιση εκτύπωσης|Αριστερό περιθώριο|Πάνω "
     "περιθώριο|Δεξί περιθώριο|Κάτω περιθώριο|Θέση/μέγεθος|"
     "Πάνω αριστερά|Πάνω κέντρο|Πάνω δεξιά|Κέντρο αριστερά|Κέντρο|Κέντρο δεξιά|Κάτω αριστερά|Κάτω "
     "κέντρο|Κάτω δεξιά|Κλείσιμο|"
     "Εφαρμογή|Μονάδες μέτρησης|Μονάδες|Rate|Όλα τα γραφικά|Video for Windows|Αρχείο|Μνήμη|"
     "Ενημερώνει αυτόματα την προεπισκόπηση με τις αλλαγές που επιλέξατε|Εκτύπωση όλων|Εκτύπωση επιλεγμένων"},
    {msRussian, 1251,
     "Просмотр|Оригинал|Результат|OK|Отмена|Закрепить просмотр|Копировать результат в "
     "оригинал|Контраст|Яркость|Оттенок|"
     "Насыщенность|Значение|Базовый цвет|Новый цвет|Светимость|Красный|Зелёный|Синий|Значения "
     "фильтра|Предустановки|"
     "Делитель|Загрузить|Сохранить|Выравнивание|Порог|Выровнять|Гистограмма|Серый|Свет|Слева|"
     "Сверху|Ширина|Высота|Цвет|Доля исходного изображения|Линза|Преломление|Просмотр "
     "параметров|Качество|Метод DCT|"
     "Коэффициент сглаживания|Оттенки серого|Оптимальный Хаффман|Исходный размер|Сжатый "
     "размер|Дополнительно|Прогрессивный|Сжатие|Номер изображения|Фотометрия|"
     "Сведения о сканированном документе|Имя|Описание|Имя страницы|Номер страницы|из|Гориз. позиция "
     "(дюймы)|Верт. позиция (дюймы)|Цвета|Прозрачный|"
     "Прозрачный цвет|Чересстрочный|Фон|Гориз. позиция|Верт. позиция|Время "
     "задержки|Фильтр|Волна|Амплитуда|Длина волны|"
     "Фаза|Отражение|Пользовательский фильтр|Морфологические фильтры|Размер "
     "окна|Максимум|Минимум|Размыкание|Замыкание|Повернуть|"
     "Отразить|По горизонтали|По вертикали|Изображение в частотной области|Выберите область для "
     "очистки|Очистить|Сбросить|Анимировать|Загрузить фильтр|Сохранить фильтр|"
     "Карта рельефа|Печать|Поля|дюймы|Справа|Снизу|Позиция|Размер|Обычный|По размеру страницы|"
     "Растянуть на страницу|Заданный размер|Гамма-коррекция|Значение|Настройка печати|Левое поле|Верхнее "
     "поле|Правое поле|Нижнее поле|Положение/размер|"
     "Вверху слева|Вверху по центру|Вверху справа|В центре слева|В центре|В центре справа|Внизу слева|Внизу "
     "по центру|Внизу справа|Закрыть|"
     "Применить|Единицы измерения|Единицы|Частота|Все изображения|Video for Windows|Файл|Память|"
     "Автоматически обновляет просмотр с выбранными изменениями|Печатать все|Печатать выбранные"},
    {msDutch, 1252,
     "Voorbeeld|Origineel|Resultaat|OK|Annuleren|Voorbeeld vergrendelen|Resultaat naar origineel "
     "kopiëren|Contrast|Helderheid|Tint|"
     "Verzadiging|Waarde|Basiskleur|Nieuwe "
     "kleur|Lichtsterkte|Rood|Groen|Blauw|Filterwaarden|Voorinstellingen|"
     "Deler|Laden|Opslaan|Egalisatie|Drempel|Egaliseren|Histogram|Grijs|Licht|Links|"
     "Boven|Breedte|Hoogte|Kleur|Hoeveelheid origineel "
     "beeld|Lens|Breking|Parametervoorbeeld|Kwaliteit|DCT-methode|"
     "Verzachtingsfactor|Grijswaarden|Optimale Huffman|Oorspronkelijke grootte|Gecomprimeerde "
     "grootte|Geavanceerd|Progressief|Compressie|Afbeeldingsindex|Fotometrisch|"
     "Info gescand document|Naam|Beschrijving|Paginanaam|Paginanummer|van|Horiz. positie (inch)|Vert. "
     "positie (inch)|Kleuren|Transparant|"
     "Transparante kleur|Geïnterlinieerd|Achtergrond|Horiz. positie|Vert. "
     "positie|Vertraging|Filter|Golf|Amplitude|Golflengte|"
     "Fase|Reflecterend|Gebruikersfilter|Morfologische "
     "filters|Venstergrootte|Maximum|Minimum|Openen|Sluiten|Roteren|"
     "Spiegelen|Horizontaal|Verticaal|Beeld in frequentiedomein|Selecteer het gebied om te "
     "reinigen|Wissen|Herstellen|Animeren|Filter laden|Filter opslaan|"
     "Reliëfkaart|Afdrukken|Marges|inch|Rechts|Onder|Positie|Grootte|Normaal|Aanpassen aan pagina|"
     "Uitrekken tot pagina|Opgegeven "
     "grootte|Gammacorrectie|Waarde|Afdrukinstelling|Linkermarge|Bovenmarge|Rechtermarge|Ondermarge|Positie/"
     "grootte|"
     "Linksboven|Middenboven|Rechtsboven|Middenlinks|Midden|Middenrechts|Linksonder|Middenonder|Rechtsonder|"
     "Sluiten|"
     "Toepassen|Maateenheden|Eenheden|Rate|Alle afbeeldingen|Video for Windows|Bestand|Geh|"
     "Werkt het voorbeeld automatisch bij met de gekozen wijzigingen|Alles afdrukken|Selectie afdrukken"},
    {msSwedish, 1252,
     "Granska|Original|Resultat|OK|Avbryt|Lås förhandsgranskning|Kopiera resultat till "
     "original|Kontrast|Ljusstyrka|Nyans|"
     "Mättnad|Värde|Grundfärg|Ny färg|Luminans|Röd|Grön|Blå|Filtervärden|Förinställningar|"
     "Divisor|Läs in|Spara|Utjämning|Tröskel|Utjämna|Histogram|Grå|Ljus|Vänster|"
     "Överkant|Bredd|Höjd|Färg|Andel originalbild|Lins|Brytning|Förhandsgranska "
     "parametrar|Kvalitet|DCT-metod|"
     "Utjämningsfaktor|Gråskala|Optimal Huffman|Originalstorlek|Komprimerad "
     "storlek|Avancerat|Progressiv|Komprimering|Bildindex|Fotometrisk|"
     "Info om skannat dokument|Namn|Beskrivning|Sidnamn|Sidnummer|av|Horis. position (tum)|Vert. position "
     "(tum)|Färger|Genomskinlig|"
     "Genomskinlig färg|Sammanflätad|Bakgrund|Horis. position|Vert. "
     "position|Fördröjning|Filter|Våg|Amplitud|Våglängd|"
     "Fas|Reflekterande|Användarfilter|Morfologiska "
     "filter|Fönsterstorlek|Maximum|Minimum|Öppning|Slutning|Rotera|"
     "Vänd|Horisontell|Vertikal|Bild i frekvensplanet|Markera området som ska "
     "rensas|Rensa|Återställ|Animera|Läs in filter|Spara filter|"
     "Reliefkarta|Skriv ut|Marginaler|tum|Höger|Nederkant|Position|Storlek|Normal|Anpassa till sidan|"
     "Sträck till sidan|Angiven storlek|Gammakorrigering|Värde|Utskriftsformat|Vänstermarginal|Övre "
     "marginal|Högermarginal|Nedre marginal|Placering/storlek|"
     "Övre vänstra|Övre mitten|Övre högra|Mitten vänster|Mitten|Mitten höger|Nedre vänstra|Nedre "
     "mitten|Nedre högra|Stäng|"
     "Verkställ|Måttenheter|Enheter|Hastighet|All grafik|Video for Windows|Fil|Minne|"
     "Uppdaterar förhandsgranskningen automatiskt med de ändringar du valt|Skriv ut alla|Skriv ut markerade"},
    // The Polish row has no word 123, so it shows the English one.
    {msPolish, 1250,
     "Podgląd|Oryginał|Wynik|OK|Anuluj|Zablokuj podgląd|Kopiuj wynik do oryginału|Kontrast|Jasność|Odcień|"
     "Nasycenie|Wartość|Kolor bazowy|Nowy kolor|Luminancja|Czerwony|Zielony|Niebieski|Wartości "
     "filtra|Ustawienia|"
     "Dzielnik|Wczytaj|Zapisz|Wyrównanie|Próg|Wyrównaj|Histogram|Szary|Światło|Lewo|"
     "Góra|Szerokość|Wysokość|Kolor|Udział oryginalnego obrazu|Soczewka|Załamanie|Podgląd "
     "parametrów|Jakość|Metoda DCT|"
     "Współczynnik wygładzania|Skala szarości|Optymalny Huffman|Rozmiar oryginalny|Rozmiar po "
     "kompresji|Zaawansowane|Progresywny|Kompresja|Indeks obrazu|Fotometria|"
     "Informacje o zeskanowanym dokumencie|Nazwa|Opis|Nazwa strony|Numer strony|z|Poz. pozioma (cale)|Poz. "
     "pionowa (cale)|Kolory|Przezroczysty|"
     "Kolor przezroczysty|Z przeplotem|Tło|Poz. pozioma|Poz. pionowa|Opóźnienie|Filtr|Fala|Amplituda|Długość "
     "fali|"
     "Faza|Odbicie|Filtr użytkownika|Filtry morfologiczne|Rozmiar "
     "okna|Maksimum|Minimum|Otwarcie|Zamknięcie|Obróć|"
     "Odwróć|Poziomo|Pionowo|Obraz w dziedzinie częstotliwości|Zaznacz obszar do "
     "oczyszczenia|Wyczyść|Resetuj|Animuj|Wczytaj filtr|Zapisz filtr|"
     "Mapa wypukłości|Drukuj|Marginesy|cale|Prawo|Dół|Pozycja|Rozmiar|Normalny|Dopasuj do strony|"
     "Rozciągnij na stronę|Podany rozmiar|Korekcja gamma|Wartość|Ustawienia wydruku|Lewy margines|Górny "
     "margines|Prawy margines|Dolny margines|Położenie/rozmiar|"
     "Lewy górny|Środek górny|Prawy górny|Środek lewy|Środek|Środek prawy|Lewy dolny|Środek dolny|Prawy "
     "dolny|Zamknij|"
     "Zastosuj|Jednostki miary|Jednostki||Wszystkie grafiki|Video for Windows|Plik|Pamięć|"
     "Automatycznie aktualizuje podgląd o wybrane zmiany|Drukuj wszystko|Drukuj zaznaczone"},
};

using TRow = std::array<std::string, kIEWordCount>;

struct TMessageTable {
    std::mutex lock;
    std::array<TRow, kMsgLanguageCount> rows;
};

TMessageTable& Table()
{
    static TMessageTable* table = [] {
        auto* t = new TMessageTable;
        for (const auto& row : kBuiltInRows) {
            std::string_view words(row.words);
            for (int index = 0; index < kIEWordCount && !words.empty(); ++index) {
                auto bar = words.find('|');
                t->rows[row.language][index] =
                    IEUtf8ToCodePage(std::string(words.substr(0, bar)), row.codePage);
                words = bar == std::string_view::npos ? std::string_view() : words.substr(bar + 1);
            }
        }
        return t;
    }();
    return *table;
}

int DefaultSystemLanguage() { return detail::PlatformPrimaryLanguage(); }

TIESystemLanguageQuery gSystemLanguage = &DefaultSystemLanguage;

// Byte of a code point in the Windows code pages the table uses, or -1.
int CodePageByte(char32_t cp, int codePage)
{
    if (cp < 0x80)
        return int(cp);
    switch (codePage) {
    case 1252:
        if (cp >= 0xA0 && cp <= 0xFF)
            return int(cp);
        return -1;
    case 1251:
        if (cp >= 0x410 && cp <= 0x44F)
            return int(cp - 0x410 + 0xC0);
        if (cp == 0x401)
            return 0xA8;
        if (cp == 0x451)
            return 0xB8;
        return -1;
    case 1253:
        if (cp == 0x386)
            return 0xA2;
        if (cp >= 0x388 && cp <= 0x3CE && cp != 0x3A2)
            return int(cp - 0x2D0);
        return -1;
    case 1250: {
        struct TPair {
            char32_t cp;
            int byte;
        };
        static constexpr TPair kPolish[] = {
            {0x104, 0xA5}, {0x105, 0xB9}, {0x106, 0xC6}, {0x107, 0xE6}, {0x118, 0xCA}, {0x119, 0xEA},
            {0x141, 0xA3}, {0x142, 0xB3}, {0x143, 0xD1}, {0x144, 0xF1}, {0xD3, 0xD3},  {0xF3, 0xF3},
            {0x15A, 0x8C}, {0x15B, 0x9C}, {0x179, 0x8F}, {0x17A, 0x9F}, {0x17B, 0xAF}, {0x17C, 0xBF}};
        for (const auto& p : kPolish)
            if (p.cp == cp)
                return p.byte;
        return -1;
    }
    default: return -1;
    }
}

}  // namespace

std::string IEUtf8ToCodePage(const std::string& utf8, int codePage, bool* ok)
{
    std::string out;
    out.reserve(utf8.size());
    bool clean = true;
    for (std::size_t i = 0; i < utf8.size();) {
        auto c = static_cast<unsigned char>(utf8[i]);
        char32_t cp = 0;
        int extra = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            cp = 0xFFFFFFFF;
        }
        ++i;
        for (int k = 0; k < extra; ++k, ++i) {
            if (i >= utf8.size() || (static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
                cp = 0xFFFFFFFF;
                break;
            }
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
        }
        int b = cp == 0xFFFFFFFF ? -1 : CodePageByte(cp, codePage);
        if (b < 0) {
            clean = false;
            b = '?';
        }
        out.push_back(static_cast<char>(b));
    }
    if (ok)
        *ok = clean;
    return out;
}

void IESetMessage(TMsgLanguage Language, std::uint8_t Index, const std::string& Text)
{
    if (Language >= kMsgLanguageCount || Index >= kIEWordCount)
        return;
    auto& table = Table();
    std::lock_guard guard(table.lock);
    table.rows[Language][Index] = Text;
}

TMsgLanguage IELanguageFromPrimaryId(int primaryLanguageId)
{
    switch (primaryLanguageId) {
    case 7: return msGerman;
    case 8: return msGreek;
    case 10: return msSpanish;
    case 12: return msFrench;
    case 16: return msItalian;
    case 19: return msDutch;
    case 21: return msPolish;
    case 22: return msPortuguese;
    case 25: return msRussian;
    case 29: return msSwedish;
    default: return msEnglish;
    }
}

void IESetSystemLanguageQuery(TIESystemLanguageQuery query)
{
    gSystemLanguage = query ? query : &DefaultSystemLanguage;
}

std::string IEGetMessage(std::uint8_t Index, TMsgLanguage Language)
{
    if (Index >= kIEWordCount)
        return {};
    if (Language == msSystem)
        Language = IELanguageFromPrimaryId(gSystemLanguage());
    if (Language >= kMsgLanguageCount)
        Language = msEnglish;
    auto& table = Table();
    std::lock_guard guard(table.lock);
    const auto& word = table.rows[Language][Index];
    return word.empty() ? table.rows[msEnglish][Index] : word;
}

}  // namespace imaging
