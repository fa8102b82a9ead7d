#include "ContactPageFixture.h"

#include "Mac/ContactPage/ContactInfoViewModel.h"

using namespace quendel::test;
using namespace contact_info;

namespace {

QStringList itemLines(const ContactInfoViewModel &model)
{
    QStringList lines;
    for (const ContactInfoViewModel::Item &item : model.items()) {
        if (item.isHeader())
            lines.append(item.section);
        else if (item.row->placeholder)
            lines.append(QStringLiteral("  +"));
        else
            lines.append(QStringLiteral("  ") + model.valueText(*item.row));
    }
    return lines;
}

TEST_F(ContactPageTest, SectionsAndRowsInViewingAndEditingMode)
{
    struct Case
    {
        const char *name;
        std::function<void(Person *)> fill;
        QStringList viewing;
        QStringList editing;
    };
    const Case cases[] = {
        {"bare contact",
         {},
         {"Groups", "  None", "  None", "Notes", "  "},
         {"Phones", "  +", "Emails", "  +", "Addresses", "  +", "URLs", "  +", "Groups", "  None", "  None", "Notes",
          "  "}},
        {"e-mails only",
         [this](Person *p) {
             p->addEmailWithEmail(QStringLiteral("a@example.com"), QStringLiteral("home"), context.get());
         },
         {"Emails", "  a@example.com", "Groups", "  None", "  None", "Notes", "  "},
         {"Phones", "  +", "Emails", "  a@example.com", "  +", "Addresses", "  +", "URLs", "  +", "Groups", "  None",
          "  None", "Notes", "  "}},
        {"full contact",
         [this](Person *p) {
             p->addPhoneNumberWithNumber(QStringLiteral("555"), QStringLiteral("mobile"), context.get());
             p->addEmailWithEmail(QStringLiteral("a@example.com"), QStringLiteral("home"), context.get());
             p->addAddressWithText(QStringLiteral("1 Main St"), QStringLiteral("street"), QStringLiteral("home"),
                                   QStringLiteral("Canada"), context.get());
             p->addWebsiteWithURLString(QStringLiteral("example.com"), QStringLiteral("home page"), context.get());
             p->setNotesField(QStringLiteral("Met at the fair"));
             p->updateOtherFieldsWithValue(QStringLiteral("Chef"), QStringLiteral("personinfo.jobDescription"));
         },
         {"Phones", "  555", "Emails", "  a@example.com", "Addresses", "  1 Main St, Canada", "URLs", "  example.com",
          "Groups", "  None", "  None", "Notes", "  Met at the fair", "Other Info", "  Chef"},
         {"Phones", "  555", "  +", "Emails", "  a@example.com", "  +", "Addresses", "  1 Main St, Canada", "  +",
          "URLs", "  example.com", "  +", "Groups", "  None", "  None", "Notes", "  Met at the fair", "Other Info",
          "  Chef"}},
    };
    for (const Case &c : cases) {
        Person *person = storedPerson(QStringLiteral("Ann"), c.fill);
        ContactInfoViewModel model(context.get(), person);
        model.loadContactsDataDictionary();
        EXPECT_EQ(itemLines(model), c.viewing) << c.name;
        model.addEmptyValuesToDictionary();
        EXPECT_EQ(itemLines(model), c.editing) << c.name;
        model.removeEmptyValuesFromDictionary();
        EXPECT_EQ(itemLines(model), c.viewing) << c.name;
    }
}

TEST_F(ContactPageTest, CellOfEachRowInBothModes)
{
    Person *person = storedPerson(QStringLiteral("Ann"), [this](Person *p) {
        p->addPhoneNumberWithNumber(QStringLiteral("555"), QStringLiteral("mobile"), context.get());
        p->addAddressWithText(QStringLiteral("1 Main"), QStringLiteral("street"), QString(), QString(), context.get());
        p->setBirthdayFieldWithDate(clock->utcNow());
        p->updateOtherFieldsWithValue(QStringLiteral("N"), QStringLiteral("personinfo.nickname"));
    });
    ContactInfoViewModel model(context.get(), person);
    model.loadContactsDataDictionary();
    model.addEmptyValuesToDictionary();
    QStringList viewing, editing;
    for (const ContactInfoViewModel::Item &item : model.items()) {
        viewing.append(ContactInfoViewModel::cellIdentifier(item, false));
        editing.append(ContactInfoViewModel::cellIdentifier(item, true));
    }
    const QStringList expectedEditing = {"HeaderCell", "DataEditingCell",    "DataEditingCell",    // Phones
                                         "HeaderCell", "DataEditingCell",                          // Emails
                                         "HeaderCell", "AddressEditingCell", "AddressEditingCell", // Addresses
                                         "HeaderCell", "DataEditingCell",                          // URLs
                                         "HeaderCell", "DataCell",           "DataCell",           // Groups
                                         "HeaderCell", "DataCell",                                 // Notes
                                         "HeaderCell", "DateEditingCell",    "DataCell"};          // Other Info
    EXPECT_EQ(editing, expectedEditing);
    for (int i = 0; i < viewing.size(); ++i) {
        if (expectedEditing[i] == QLatin1String("HeaderCell") || expectedEditing[i] == QLatin1String("DateEditingCell"))
            EXPECT_EQ(viewing[i], expectedEditing[i]);
        else
            EXPECT_EQ(viewing[i], QStringLiteral("DataCell"));
    }
}

TEST_F(ContactPageTest, StoringValuesOnStoredAndEmptyRows)
{
    Person *person = storedPerson(QStringLiteral("Ann"), [this](Person *p) {
        p->addPhoneNumberWithNumber(QStringLiteral("555"), QStringLiteral("mobile"), context.get());
    });
    ContactInfoViewModel model(context.get(), person);
    model.loadContactsDataDictionary();
    model.addEmptyValuesToDictionary();
    const ContactInfoRowPtr stored = model.rows(PhonesKey).first();
    const ContactInfoRowPtr placeholder = model.rows(PhonesKey).last();

    EXPECT_EQ(model.persistValue(placeholder, QString(QLatin1String("")), QStringLiteral("home")), nullptr);
    EXPECT_EQ(model.rows(PhonesKey).size(), 2);

    auto *created =
        dynamic_cast<Phones *>(model.persistValue(placeholder, QStringLiteral("777"), QStringLiteral("work")));
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->label(), QStringLiteral("work"));
    EXPECT_EQ(created->person(), person);
    ASSERT_EQ(model.rows(PhonesKey).size(), 3);
    EXPECT_EQ(model.rows(PhonesKey)[1]->record, created);
    EXPECT_TRUE(model.rows(PhonesKey)[2]->placeholder);

    auto *phone = static_cast<Phones *>(stored->record);
    model.persistValue(stored, QString(QLatin1String("")), QString());
    EXPECT_EQ(phone->phoneNumber(), QString(QLatin1String("")));
    EXPECT_FALSE(phone->phoneNumber().isNull());

    const ContactInfoRowPtr notes = model.rows(NotesKey).first();
    model.persistValue(notes, QStringLiteral("New notes"), QString());
    EXPECT_EQ(person->notesField(), QStringLiteral("New notes"));
}

TEST_F(ContactPageTest, AddFieldMenuAndAddingFields)
{
    Person *person = storedPerson(QStringLiteral("Ann"), [this](Person *p) {
        p->setPrefixName(QStringLiteral("Dr"));
        p->setBirthdayFieldWithDate(clock->utcNow());
        p->setNotesField(QStringLiteral("n"));
    });
    ContactInfoViewModel model(context.get(), person);
    model.loadContactsDataDictionary();
    EXPECT_EQ(model.addFieldMenuTitles(),
              (QStringList{"Suffix", "Department", "Job Title", "Middle Name", "Nickname"}));

    EXPECT_EQ(model.addPersonField(QStringLiteral("Job Title")), QStringLiteral("personinfo.jobDescription"));
    QStringList other;
    for (const ContactInfoRowPtr &row : model.rows(OtherInfoKey))
        other.append(row->key + QLatin1Char('=') + row->text);
    EXPECT_EQ(other.last(), QStringLiteral("Job Title="));
    EXPECT_FALSE(model.addFieldMenuTitles().contains(QStringLiteral("Job Title")) &&
                 !person->fieldNotAddedToPerson().contains(QStringLiteral("personinfo.jobDescription")));

    Person *plain = storedPerson(QStringLiteral("Bob"));
    ContactInfoViewModel second(context.get(), plain);
    second.loadContactsDataDictionary();
    EXPECT_FALSE(second.sortedKeys().contains(OtherInfoKey));
    second.addPersonField(QStringLiteral("Nickname"));
    EXPECT_EQ(second.sortedKeys().last(), OtherInfoKey);
    second.addPersonField(QStringLiteral("Notes"));
    EXPECT_EQ(second.sortedKeys().count(NotesKey), 1);
    EXPECT_TRUE(second.addPersonField(QStringLiteral("Unknown")).isNull());
}

TEST_F(ContactPageTest, RemovingRows)
{
    Person *person = storedPerson(QStringLiteral("Ann"), [this](Person *p) {
        p->addEmailWithEmail(QStringLiteral("a@example.com"), QStringLiteral("home"), context.get());
        p->updateOtherFieldsWithValue(QStringLiteral("Nick"), QStringLiteral("personinfo.nickname"));
    });
    ContactInfoViewModel model(context.get(), person);
    model.loadContactsDataDictionary();
    model.addEmptyValuesToDictionary();
    EXPECT_FALSE(model.removeRow(model.rows(EmailsKey).last()));  // the empty row
    EXPECT_FALSE(model.removeRow(model.rows(GroupsKey).first())); // a group row
    EXPECT_FALSE(model.removeRow(model.rows(NotesKey).first()));  // the notes
    Emails *email = static_cast<Emails *>(model.rows(EmailsKey).first()->record);
    EXPECT_TRUE(model.removeRow(model.rows(EmailsKey).first()));
    EXPECT_TRUE(email->isDeleted());
    EXPECT_EQ(model.rows(EmailsKey).size(), 1);
    EXPECT_TRUE(model.removeRow(model.rows(OtherInfoKey).first()));
    EXPECT_TRUE(person->personinfo()->nickname().isNull());
    ASSERT_TRUE(model.save());
    platform::store::ContextPtr fresh = newContext();
    auto *reread = dynamic_cast<Person *>(fresh->objectWithID(person->objectID()));
    EXPECT_TRUE(reread->emails().isEmpty());
}

} // namespace
